#include <optional>
#include <utility>
#include <vector>

#include "common/text.hpp"
#include "common/utf8.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/digest.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/frames.hpp"
#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

const std::string kApiUsage =
    "qrn-sim api --adapter KELVO (bind-shell --link TOKEN | poll ID --link TOKEN | "
    "drive-poll ID --link TOKEN)";
const std::string kDigestUsage = "qrn-sim endpoint digest OWNER --last COUNT --json";
const std::string kSendUsage = "qrn-sim send [--FLAG…] [--from ID] OWNER < message";

int bind_shell(const std::string& token, SimEnv& env) {
  const auto [shell_id, owner] = update_state(env.home, [&](SimState& state) {
    Link& link = link_for(state, token);
    if (link.revoked) throw SimError("link revoked");
    link.held_by = link.shell_id;
    return std::pair(link.shell_id, link.owner);
  });
  env.write_out("qrn-sim stand-in host, KELVO adapter: link bound\n");
  env.write_out("BOUND_SHELL: " + shell_id + " owner=" + owner + "\n");
  return 0;
}

int poll(const std::string& shell_id, const std::string& token, SimEnv& env) {
  const auto frames =
      update_state(env.home, [&](SimState& state) -> std::optional<std::vector<QueuedFrame>> {
        Link* link = held_link(state, token, shell_id);
        if (link == nullptr) return std::nullopt;
        return std::exchange(link->queue, {});
      });
  if (!frames) {
    env.write_err("AUTH_REFUSED: no instance holds this link token\n");
    return kExitFailure;
  }
  std::string out;
  for (const auto& frame : *frames) out += poll_line(frame, token) + "\n";
  if (!out.empty()) env.write_out(out);
  return 0;
}

int drive_poll(const std::string& shell_id, const std::string& token, SimEnv& env) {
  SimState state = read_state(env.home);
  const Link* link = held_link(state, token, shell_id);
  if (link == nullptr) {
    env.write_err("DRIVE_POLL_REFUSED: no instance holds this link token\n");
    return kExitFailure;
  }
  const Endpoint& endpoint = endpoint_for(state, link->owner);
  env.write_out(activity_frame(endpoint.idle, endpoint.since) + "\n");
  return 0;
}

}  // namespace

int run_api(Words args, SimEnv& env) {
  if (args.size() < 3 || args[0] != "--adapter" || args[1] != "KELVO") {
    throw usage_error(kApiUsage);
  }
  const std::string& call = args[2];
  if (call == "bind-shell" && args.size() == 5 && args[3] == "--link") {
    return bind_shell(args[4], env);
  }
  if (args.size() == 6 && args[4] == "--link") {
    if (call == "poll") return poll(args[3], args[5], env);
    if (call == "drive-poll") return drive_poll(args[3], args[5], env);
  }
  throw usage_error(kApiUsage);
}

int run_endpoint(Words args, SimEnv& env) {
  if (args.size() != 5 || args[0] != "digest" || args[2] != "--last" || args[4] != "--json") {
    throw usage_error(kDigestUsage);
  }
  const auto last = parse_u32(args[3]);
  if (!last) throw usage_error(kDigestUsage);
  SimState state = read_state(env.home);
  env.write_out(digest_json(endpoint_for(state, args[1]), *last) + "\n");
  return 0;
}

int run_send(Words args, SimEnv& env) {
  if (args.empty() || args.back().starts_with("-")) throw usage_error(kSendUsage);
  InboxMessage message;
  const Words flags = args.first(args.size() - 1);
  for (std::size_t i = 0; i < flags.size(); ++i) {
    if (flags[i] == "--from" && i + 1 < flags.size() && !message.from) {
      message.from = flags[++i];
    } else if (flags[i].starts_with("-") && flags[i] != "--from") {
      message.flags.push_back(flags[i]);
    } else {
      throw usage_error(kSendUsage);
    }
  }
  message.text = decode_utf8_lossy(env.read_input());
  message.ts = env.now_ms();
  HomeLock lock(env.home, LockMode::Exclusive);
  append_inbox(env.home, args.back(), message);
  return 0;
}

}  // namespace kelvo::sim
