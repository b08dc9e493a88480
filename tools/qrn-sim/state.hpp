#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "qrn-sim/process_mark.hpp"

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
  std::string shell_id;  // what the first bind reports, then the id of the shell holding the link
  bool bound = false;    // a shell holds the link as shell_id
  // Ids that held the link before a later bind took it over: refused, and never handed out on
  // this link again, so a superseded shell that is still running stays shut out.
  std::vector<std::string> superseded;
  bool revoked = false;
  std::vector<QueuedFrame> queue;  // oldest first; a poll takes them all
  // The program that made the latest bind (the holding shell); unknown in files written before
  // it was kept.
  std::optional<ProcessMark> binder = std::nullopt;
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

// Every link of the home, by the file that holds it.
using LinksByFile = std::map<std::filesystem::path, Link>;

// The rule of poll and drive-poll: the link is live and `shell_id` holds it.
bool holds(const Link& link, std::string_view shell_id);

// The ids the owner's live links other than `except` report or hold; no bind hands them out.
std::set<std::string> ids_in_use(const LinksByFile& links, std::string_view owner,
                                 const std::filesystem::path& except = {});

// KELVO-0, KELVO-1, …: the first one not in `taken`.
std::string next_free_shell_id(const std::set<std::string>& taken);

// The first bind holds the link as its shell id. A later one is a restart when the program that
// bound before has ended (`has_ended`): the link keeps its id. Otherwise, or when that program is
// unknown, it is a takeover: a fresh id, free of `taken` and of every id that held the link
// before. Either way `binder` is now the link's binder.
void bind_link(Link& link, std::set<std::string> taken, const ProcessMark& binder,
               const std::function<bool(const ProcessMark&)>& has_ended);

// The files of the live links that a command for `shell_id` goes to, all of one owner: `owner`
// when given, else the only owner whose links have that id. SimError when there are none, or
// when several owners' shells share the id and none is named.
std::vector<std::filesystem::path> command_targets(const LinksByFile& links,
                                                   std::string_view shell_id,
                                                   const std::optional<std::string>& owner);

void add_turn(Endpoint& endpoint, Turn turn);

}  // namespace kelvo::sim
