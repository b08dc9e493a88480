#include "main/cycle_codes.hpp"

#include <variant>

#include "digest/digest.hpp"
#include "machine/pacing_machine.hpp"
#include "main/host_cli.hpp"
#include "main/new_stretch_id.hpp"

namespace kelvo {

void follow_up_digest(ShellContext& context, LoopEffects& effects,
                      const std::vector<std::uint64_t>& pending_seqs,
                      std::vector<InlineCode>& cycle_codes) {
  if (pending_seqs.empty() || !context.owner) return;
  const auto digest = decode_digest(fetch_digest(effects.host, *context.owner));
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

void act_on_codes(ShellContext& context, const std::vector<InlineCode>& codes, WallTime now) {
  if (codes.empty()) return;
  context.counters.codes += codes.size();
  const CodeOutcome outcome = apply_codes(context.machine, codes, now);
  bool classified = false;
  for (const ClassifyCode& code : outcome.classify) {
    const auto done = classify_checkpoint(context.board, context.owner_state, code.designator,
                                          code.class_name, now, new_stretch_id());
    classified = classified || static_cast<bool>(done);
  }
  if (outcome.waited) mark_checkpoint(context.board, now);
  if (classified) save_owner_state(context, now);
}

}  // namespace kelvo
