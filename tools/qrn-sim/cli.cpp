#include "qrn-sim/cli.hpp"

#include <string>
#include <string_view>

#include "common/utf8.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/error.hpp"

namespace kelvo::sim {

namespace {

constexpr std::string_view kUsage =
    "usage: qrn-sim COMMAND…   (state in $QRN_SIM_HOME, else ./.qrn-sim)\n"
    "host calls:\n"
    "  api --adapter KELVO bind-shell --link TOKEN\n"
    "  api --adapter KELVO poll ID --link TOKEN\n"
    "  api --adapter KELVO drive-poll ID --link TOKEN\n"
    "  endpoint digest OWNER --last COUNT --json\n"
    "  send [--FLAG…] [--from ID] OWNER < message\n"
    "playing the operator and the agent:\n"
    "  link new --owner OWNER [--shell-id ID]\n"
    "  link revoke TOKEN\n"
    "  agent say OWNER TEXT [--truncate BYTES]\n"
    "  agent idle OWNER [--ago SECONDS]\n"
    "  agent busy OWNER [--ago SECONDS]\n"
    "  boundary OWNER [--kind KIND]\n"
    "  shell cmd SHELL_ID OP [WORD…] [--owner OWNER]\n"
    "  inbox OWNER [--follow] [--json]\n"
    "  emit --link TOKEN [--unsigned | --bad-mac] LINE\n";

using Handler = int (*)(Words, SimEnv&);

struct Command {
  std::string_view name;
  Handler handler;
};

constexpr Command kCommands[] = {
    {"api", run_api},     {"endpoint", run_endpoint}, {"send", run_send},
    {"link", run_link},   {"agent", run_agent},       {"boundary", run_boundary},
    {"shell", run_shell}, {"emit", run_emit},         {"inbox", run_inbox},
};

int dispatch(const std::vector<std::string>& args, SimEnv& env) {
  if (!args.empty() && (args[0] == "help" || args[0] == "--help")) {
    env.write_out(kUsage);
    return 0;
  }
  for (const auto& command : kCommands) {
    if (!args.empty() && args[0] == command.name) {
      return command.handler(Words(args).subspan(1), env);
    }
  }
  const std::string problem = args.empty() ? "no command given" : "unknown command " + args[0];
  env.write_err("qrn-sim: " + problem + "\n" + std::string(kUsage));
  return kExitUsage;
}

}  // namespace

int run_sim(const std::vector<std::string>& args, SimEnv& env) {
  // Everything is stored as JSON text, which must be UTF-8.
  std::vector<std::string> words;
  words.reserve(args.size());
  for (const auto& arg : args) words.push_back(decode_utf8_lossy(arg));
  try {
    return dispatch(words, env);
  } catch (const SimError& error) {
    env.write_err("qrn-sim: " + std::string(error.what()) + "\n");
    return error.exit_code();
  } catch (const std::exception& error) {
    env.write_err("qrn-sim: " + std::string(error.what()) + "\n");
    return kExitFailure;
  }
}

}  // namespace kelvo::sim
