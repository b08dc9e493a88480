#include "cycle/codes.hpp"

#include <variant>

#include "digest/digest.hpp"
#include "machine/pacing_machine.hpp"

namespace kelvo {

namespace {

// The agent lowered the latch: it is blocked on a human, once while the latch stays down (the
// reminders come on their own). The person is told after the cycle's activity edges.
void note_blocked(ShellContext& context, const PollReading& reading, WallTime now) {
  if (context.attention.blocked) return;
  const std::string_view text = reading.done_text;
  std::string detail =
      excerpt_around(text, text.rfind("!!done!!"), std::string_view("!!done!!").size());
  context.attention.blocked = Attention::Blocked{now, std::move(detail), now, 0, false};
}

}  // namespace

void follow_up_digest(ShellContext& context, std::string_view digest_text, PollReading& reading) {
  const auto digest = decode_digest(digest_text);
  if (!digest) return;
  for (const std::uint64_t seq : reading.pending_seqs) {
    const auto text = find_agent_text(*digest, seq);
    if (!text) {
      ++context.counters.pointers_missed;
      continue;
    }
    take_codes(reading, *text);
  }
}

std::optional<InlineCode> act_on_codes(ShellContext& context, const PollReading& reading,
                                       WallTime now, Outbox& outbox) {
  if (reading.codes.empty()) return std::nullopt;
  context.counters.codes += reading.codes.size();
  const CodeOutcome outcome = apply_codes(context.machine, reading.codes, now);
  bool classified = false;
  for (const ClassifyCode& code : outcome.classify) {
    const auto done =
        classify_checkpoint(context.board, context.owner_state, code.designator, code.class_name,
                            now, draw_stretch_id(context.stretch_ids, now));
    classified = classified || static_cast<bool>(done);
  }
  if (outcome.waited) mark_checkpoint(context.board, now);
  if (classified) save(context, now, outbox);
  // An agent that answers with a verdict is not unresponsive, whatever it says: its nudges count
  // anew from here.
  if (outcome.verdict) {
    context.attention.unresponsive = false;
    context.attention.unanswered_nudges = 0;
  }
  if (outcome.verdict && std::holds_alternative<DoneCode>(*outcome.verdict)) {
    note_blocked(context, reading, now);
  }
  return outcome.verdict;
}

}  // namespace kelvo
