#include "cycle/codes.hpp"

#include "digest/digest.hpp"
#include "machine/pacing_machine.hpp"

namespace kelvo {

void follow_up_digest(ShellContext& context, std::string_view digest_text,
                      const std::vector<std::uint64_t>& pending_seqs,
                      std::vector<InlineCode>& cycle_codes) {
  const auto digest = decode_digest(digest_text);
  if (!digest) return;
  for (const std::uint64_t seq : pending_seqs) {
    const auto text = find_agent_text(*digest, seq);
    if (!text) {
      ++context.counters.pointers_missed;
      continue;
    }
    const auto codes = scan_inline_codes(*text);
    cycle_codes.insert(cycle_codes.end(), codes.begin(), codes.end());
  }
}

void act_on_codes(ShellContext& context, const std::vector<InlineCode>& codes, WallTime now,
                  Outbox& outbox) {
  if (codes.empty()) return;
  context.counters.codes += codes.size();
  const CodeOutcome outcome = apply_codes(context.machine, codes, now);
  bool classified = false;
  for (const ClassifyCode& code : outcome.classify) {
    const auto done =
        classify_checkpoint(context.board, context.owner_state, code.designator, code.class_name,
                            now, draw_stretch_id(context.stretch_ids, now));
    classified = classified || static_cast<bool>(done);
  }
  if (outcome.waited) mark_checkpoint(context.board, now);
  if (classified) save(context, now, outbox);
}

}  // namespace kelvo
