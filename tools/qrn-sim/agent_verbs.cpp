#include <filesystem>
#include <limits>

#include "qrn-sim/args.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/frames.hpp"
#include "qrn-sim/queueing.hpp"
#include "qrn-sim/stamps.hpp"
#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

const std::string kAgentUsage =
    "qrn-sim agent say OWNER TEXT [--truncate BYTES] | qrn-sim agent (idle|busy) OWNER "
    "[--ago SECONDS]";
const std::string kBoundaryUsage = "qrn-sim boundary OWNER [--kind KIND]";
constexpr std::string_view kDefaultBoundaryKind = "compact";

// Records a turn with `record`, which gives the turn's frame, then queues the frame on every
// live link of the owner; the endpoint stays locked until then, so frames reach every queue in
// turn order.
template <typename Record>
void record_and_queue(SimEnv& env, const std::string& owner, Record record) {
  const std::filesystem::path file = endpoint_file(env.home, owner);
  FileLock lock(file, LockMode::Exclusive);
  Endpoint endpoint = existing_endpoint(env.home, owner);
  const QueuedFrame frame = record(endpoint);
  save_endpoint(file, endpoint);
  queue_for_owner(env.home, owner, frame);
}

int agent_say(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{"--truncate"}, {}}, kAgentUsage);
  expect_positional(parsed, 2, kAgentUsage);
  const std::string& owner = parsed.positional[0];
  const std::string& text = parsed.positional[1];
  const auto truncate = parsed.value("--truncate");
  const std::string_view shown =
      truncate ? utf8_prefix(text, count_value(*truncate, kAgentUsage)) : text;
  record_and_queue(env, owner, [&](Endpoint& endpoint) {
    const std::uint64_t seq = endpoint.next_seq++;
    add_turn(endpoint, AgentTurn{text, seq});
    return QueuedFrame{agent_output_frame(shown, seq, truncate.has_value())};
  });
  return 0;
}

std::uint64_t time_ago(std::uint64_t now, std::uint64_t seconds) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t span = seconds > kMax / 1000 ? kMax : seconds * 1000;
  return now > span ? now - span : 0;
}

int agent_activity(bool idle, Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{"--ago"}, {}}, kAgentUsage);
  expect_positional(parsed, 1, kAgentUsage);
  const auto ago = parsed.value("--ago");
  const std::uint64_t since = time_ago(env.now_ms(), ago ? count_value(*ago, kAgentUsage) : 0);
  update_endpoint(env.home, parsed.positional[0], [&](Endpoint& endpoint) {
    endpoint.idle = idle;
    endpoint.since = since;
  });
  return 0;
}

}  // namespace

int run_agent(Words args, SimEnv& env) {
  if (!args.empty() && args[0] == "say") return agent_say(args.subspan(1), env);
  if (!args.empty() && args[0] == "idle") return agent_activity(true, args.subspan(1), env);
  if (!args.empty() && args[0] == "busy") return agent_activity(false, args.subspan(1), env);
  throw usage_error(kAgentUsage);
}

int run_boundary(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{"--kind"}, {}}, kBoundaryUsage);
  expect_positional(parsed, 1, kBoundaryUsage);
  const std::string& owner = parsed.positional[0];
  const std::string kind = parsed.value("--kind").value_or(std::string(kDefaultBoundaryKind));
  const std::uint64_t now = env.now_ms();
  const QueuedFrame frame{boundary_frame(kind)};
  record_and_queue(env, owner, [&](Endpoint& endpoint) {
    add_turn(endpoint, BoundaryTurn{kind, utc_stamp(now)});
    return frame;
  });
  return 0;
}

}  // namespace kelvo::sim
