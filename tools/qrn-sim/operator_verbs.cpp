#include <optional>
#include <vector>

#include "qrn-sim/args.hpp"
#include "qrn-sim/command_body.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/frames.hpp"
#include "qrn-sim/queueing.hpp"
#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

const std::string kShellUsage = "qrn-sim shell cmd SHELL_ID OP [WORD…] [--owner OWNER]";
const std::string kEmitUsage = "qrn-sim emit --link TOKEN [--unsigned | --bad-mac] LINE";

}  // namespace

int run_shell(Words args, SimEnv& env) {
  // The words after the op are the operator's, taken as they come, dashes included; only a
  // final "--owner OWNER" is the verb's own.
  std::optional<std::string> owner;
  if (args.size() >= 2 && args[args.size() - 2] == "--owner") {
    owner = args.back();
    args = args.first(args.size() - 2);
  }
  if (args.size() < 3 || args[0] != "cmd" || args.back() == "--owner") {
    throw usage_error(kShellUsage);
  }
  const std::string& shell_id = args[1];
  const std::string& op = args[2];
  const std::vector<std::string> words(args.begin() + 3, args.end());
  const QueuedFrame frame{shell_command_frame(op, shell_command_body(op, words))};
  const auto targets = command_targets(read_links(env.home), shell_id, owner);
  if (queue_for_shell(targets, shell_id, frame) == 0) {
    throw SimError("no live link has shell id " + shell_id);
  }
  return 0;
}

int run_emit(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{"--link"}, {"--unsigned", "--bad-mac"}}, kEmitUsage);
  expect_positional(parsed, 1, kEmitUsage);
  const auto token = parsed.value("--link");
  if (!token || (parsed.has("--unsigned") && parsed.has("--bad-mac"))) {
    throw usage_error(kEmitUsage);
  }
  require_one_line(parsed.positional[0], "line");
  const Signing signing = parsed.has("--unsigned")  ? Signing::None
                          : parsed.has("--bad-mac") ? Signing::BadMac
                                                    : Signing::Mac;
  const bool queued = update_link(link_file(env.home, *token), [&](Link& link) {
    link.queue.push_back({parsed.positional[0], signing});
    return true;
  });
  if (!queued) throw SimError("unknown link token");
  return 0;
}

}  // namespace kelvo::sim
