#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
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

// An unknown token from a home written before links had a file each.
std::string unknown_link_message(const std::filesystem::path& home) {
  std::string message = "unknown link token";
  if (std::filesystem::exists(home / "state.json")) {
    message += "; " + (home / "state.json").string() +
               " is from an earlier qrn-sim and is no longer read: make a new link";
  }
  return message;
}

int bind_shell(const std::string& token, SimEnv& env) {
  const std::filesystem::path file = link_file(env.home, token);
  const std::optional<Link> found = read_link(file);
  if (!found) throw SimError(unknown_link_message(env.home));
  FileLock owner_lock(endpoint_file(env.home, found->owner), LockMode::Exclusive);
  const std::set<std::string> taken = ids_in_use(read_links(env.home), found->owner, file);
  std::string shell_id;
  update_link(file, [&](Link& link) {
    if (link.revoked) throw SimError("link revoked");
    bind_link(link, taken, env.caller(), env.has_ended);
    shell_id = link.shell_id;
    return true;
  });
  env.write_out("qrn-sim stand-in host, KELVO adapter: link bound\n");
  env.write_out("BOUND_SHELL: " + shell_id + " owner=" + found->owner + "\n");
  return 0;
}

// The link's frames, taken from its queue; nothing unless `shell_id` holds the link. A queue
// found empty under the shared lock is left as it is: such a poll writes nothing.
std::optional<std::vector<QueuedFrame>> take_frames(const std::string& token,
                                                    const std::string& shell_id, SimEnv& env) {
  const std::filesystem::path file = link_file(env.home, token);
  const std::optional<Link> link = read_link(file);
  if (!link || !holds(*link, shell_id)) return std::nullopt;
  if (!env.poll_log_dir.empty()) {
    append_line(env.poll_log_dir / (safe_file_name(token) + ".log"),
                std::to_string(env.now_ms()) + "\n");
  }
  if (link->queue.empty()) return std::vector<QueuedFrame>{};
  std::optional<std::vector<QueuedFrame>> frames;
  update_link(file, [&](Link& held) {
    if (!holds(held, shell_id)) return false;
    frames = std::exchange(held.queue, {});
    return true;
  });
  return frames;
}

// Refuses a poll or drive-poll: `prefix` and the fixed sentence by which the shell knows a
// refusal, then why, where the link tells: revoked, or taken over by a later bind. An unknown
// token and an id that never held the link get the sentence alone.
int refuse(std::string_view prefix, const std::optional<Link>& link, const std::string& shell_id,
           SimEnv& env) {
  std::string line = std::string(prefix) + ": no instance holds this link token";
  if (link && link->revoked) {
    line += ": the link was revoked";
  } else if (link && std::ranges::find(link->superseded, shell_id) != link->superseded.end()) {
    line += ": the link is bound to shell " + link->shell_id;
  }
  env.write_err(line + "\n");
  return kExitFailure;
}

int poll(const std::string& shell_id, const std::string& token, SimEnv& env) {
  const auto frames = take_frames(token, shell_id, env);
  if (!frames) return refuse("AUTH_REFUSED", read_link(link_file(env.home, token)), shell_id, env);
  std::string out;
  for (const auto& frame : *frames) out += poll_line(frame, token) + "\n";
  if (!out.empty()) env.write_out(out);
  return 0;
}

int drive_poll(const std::string& shell_id, const std::string& token, SimEnv& env) {
  const std::optional<Link> link = read_link(link_file(env.home, token));
  if (!link || !holds(*link, shell_id)) return refuse("DRIVE_POLL_REFUSED", link, shell_id, env);
  const Endpoint endpoint = read_endpoint(env.home, link->owner);
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
  env.write_out(digest_json(read_endpoint(env.home, args[1]), *last) + "\n");
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
  FileLock lock(inbox_file(env.home, args.back()), LockMode::Exclusive);
  append_inbox(env.home, args.back(), message);
  return 0;
}

}  // namespace kelvo::sim
