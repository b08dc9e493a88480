#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvo::sim {

// How a queued frame goes out on the poll: signed with the link's key, bare, or signed and
// then spoiled (for tests of forged input).
enum class Signing { Mac, None, BadMac };

struct QueuedFrame {
  std::string text;
  Signing signing = Signing::Mac;
};

struct Link {
  std::string owner;
  std::string shell_id;                // what bind-shell reports and what then holds the link
  std::optional<std::string> held_by;  // set by bind-shell
  bool revoked = false;
  std::vector<QueuedFrame> queue;  // oldest first; a poll takes them all
};

struct AgentTurn {
  std::string text;
  std::uint64_t seq = 0;
};

struct BoundaryTurn {
  std::string kind;
  std::string ts;
};

using Turn = std::variant<AgentTurn, BoundaryTurn>;

// The agent side of one owner.
struct Endpoint {
  bool idle = true;
  std::uint64_t since = 0;  // ms since the epoch
  std::uint64_t next_seq = 1;
  std::vector<Turn> turns;  // oldest first, at most kTurnsKept
};

// Older turns are dropped so a long session keeps a small state file; the digest reads 12.
inline constexpr std::size_t kTurnsKept = 64;

struct SimState {
  std::map<std::string, Link> links;          // by token
  std::map<std::string, Endpoint> endpoints;  // by owner
};

// Throws SimError when the token names no link.
Link& link_for(SimState& state, const std::string& token);

// Throws SimError when no link was ever made for the owner.
Endpoint& endpoint_for(SimState& state, const std::string& owner);

// The link when it exists, is not revoked and `shell_id` holds it; the rule of poll and
// drive-poll.
Link* held_link(SimState& state, const std::string& token, std::string_view shell_id);

// Queues a frame on every live link of the owner; returns how many links got it.
std::size_t queue_for_owner(SimState& state, const std::string& owner, const QueuedFrame& frame);

// Queues a frame on every live link whose shell id is `shell_id`; returns how many.
std::size_t queue_for_shell(SimState& state, std::string_view shell_id, const QueuedFrame& frame);

void add_turn(Endpoint& endpoint, Turn turn);

}  // namespace kelvo::sim
