#include <algorithm>

#include "qrn-sim/args.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

const std::string kInboxUsage = "qrn-sim inbox OWNER [--follow] [--json]";

// Prints the messages after the first `shown` ones; returns how many there are now.
std::size_t show_new_messages(const std::string& owner, bool as_json, std::size_t shown,
                              SimEnv& env) {
  std::vector<InboxMessage> messages;
  {
    FileLock lock(inbox_file(env.home, owner), LockMode::Shared);
    messages = load_inbox(env.home, owner);
  }
  std::string out;
  for (std::size_t i = shown; i < messages.size(); ++i) {
    out += as_json ? inbox_line(messages[i]) + "\n" : format_for_person(messages[i]);
  }
  if (!out.empty()) env.write_out(out);
  return std::max(shown, messages.size());
}

}  // namespace

int run_inbox(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{}, {"--follow", "--json"}}, kInboxUsage);
  expect_positional(parsed, 1, kInboxUsage);
  const std::string& owner = parsed.positional[0];
  const bool as_json = parsed.has("--json");
  std::size_t shown = show_new_messages(owner, as_json, 0, env);
  if (parsed.has("--follow")) {
    while (env.keep_following()) shown = show_new_messages(owner, as_json, shown, env);
  }
  return 0;
}

}  // namespace kelvo::sim
