#include "main/cycle_follow_ups.hpp"

#include <variant>

#include "board/board_message.hpp"
#include "digest/digest.hpp"
#include "main/host_cli.hpp"

namespace kelvo {

void follow_up_digest(ShellContext& context, LoopEffects& effects,
                      const std::vector<std::uint64_t>& pending_seqs,
                      std::vector<InlineCode>& cycle_codes) {
  if (pending_seqs.empty() || !context.settings.owner) return;
  const DigestResult decoded = decode_digest(fetch_digest(effects.host, *context.settings.owner));
  const auto* digest = std::get_if<Digest>(&decoded);
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

void follow_through_codes(ShellContext& context, const CodeOutcome& outcome, std::uint64_t now) {
  bool classified = false;
  for (const ClassifyCode& code : outcome.classify) {
    const auto failure = classify_checkpoint(context.board, context.owner_state, code.designator,
                                             code.class_name, now);
    classified = classified || !failure;
  }
  if (outcome.waited) mark_checkpoint(context.board, now);
  if (classified) save_owner_state(context);
}

void show_board(ShellContext& context, LoopEffects& effects, std::uint64_t idle_ms,
                std::uint64_t resumed_at) {
  const std::string& owner = *context.settings.owner;
  record_resume(context.board, resumed_at);
  const std::string path_text =
      context.state_path ? context.state_path->string() : std::string("state/<owner>.json");
  const std::string message = board_message(idle_ms, effects.clock.local_stamp(), context.board,
                                            context.settings.shell_id.value_or("KELVO-0"),
                                            context.owner_state.registry, path_text);
  send(effects.host, owner, SendFlags::ActiveOnly, context.settings.shell_id, message);
}

}  // namespace kelvo
