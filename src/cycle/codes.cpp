#include "cycle/codes.hpp"

#include <variant>

#include "digest/digest.hpp"
#include "machine/pacing_machine.hpp"

namespace kelvo {

namespace {

// The agent lowered the latch: it is blocked on a human, once while the latch stays down (the
// reminders come on their own). The person is told after the cycle's activity edges.
void note_blocked(Attention& attention, const PollReading& reading, WallTime now) {
  if (attention.blocked) return;
  const std::string_view text = reading.done_text;
  std::string detail =
      excerpt_around(text, text.rfind("!!done!!"), std::string_view("!!done!!").size());
  attention.blocked = Attention::Blocked{now, std::move(detail), now, 0, false};
}

}  // namespace

void follow_up_digest(ShellState& state, std::string_view digest_text, PollReading& reading) {
  const auto digest = decode_digest(digest_text);
  if (!digest) return;
  for (const std::uint64_t seq : reading.pending_seqs) {
    const auto text = find_agent_text(*digest, seq);
    if (!text) {
      ++state.counters.pointers_missed;
      continue;
    }
    take_codes(reading, *text);
  }
}

std::optional<InlineCode> act_on_codes(const RunSettings& run, ShellState& state,
                                       const PollReading& reading, WallTime now, Outbox& outbox) {
  if (reading.codes.empty()) return std::nullopt;
  Session& session = state.session;
  state.counters.codes += reading.codes.size();
  const CodeOutcome outcome = apply_codes(session.machine, reading.codes, now);
  bool classified = false;
  for (const ClassifyCode& code : outcome.classify) {
    const auto done =
        classify_checkpoint(session.board, state.owner_state, code.designator, code.class_name, now,
                            draw_stretch_id(session.stretch_ids, now));
    classified = classified || static_cast<bool>(done);
  }
  if (outcome.waited) mark_checkpoint(session.board, now);
  if (classified) save(run, state, now, outbox);
  // An agent that answers with a verdict is not unresponsive, whatever it says: its nudges count
  // anew from here.
  if (outcome.verdict) {
    session.attention.unresponsive = false;
    session.attention.unanswered_nudges = 0;
  }
  if (outcome.verdict && std::holds_alternative<DoneCode>(*outcome.verdict)) {
    note_blocked(session.attention, reading, now);
  }
  return outcome.verdict;
}

}  // namespace kelvo
