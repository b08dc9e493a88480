#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/time.hpp"
#include "runtime/runtime_status.hpp"

namespace kelvo {

// A shell that has not rewritten its status for this long while its process lives is stale:
// it rewrites the file at least once a minute. Its `updated` or the file's modification time
// that far ahead of now makes it stale too: a clock set back, or a file not written by a shell.
inline constexpr Millis kStaleAfter = Millis(3 * 60 * 1000);

// Whether a process lives; kill(pid, 0) in the program, anything in tests.
using PidAlive = std::function<bool(std::int32_t pid)>;

// One status file of the runtime folder, decoded.
struct StatusFile {
  std::string name;  // the file name, e.g. "demo.json"
  RuntimeStatus status;
  WallTime modified{};  // the file's modification time, by the machine's clock
};

// A file of the runtime folder that could not be read as a status.
struct SkippedFile {
  std::string name;
  std::string reason;
};

// Why a person is needed, in the order a row lists them.
enum class Need { Gone, Stale, Unresponsive, Blocked, HostFailing };

// "gone", "stale", "unresponsive", "blocked", "host-failing".
std::string_view need_name(Need need);

// Where a shell's life stands.
enum class Life {
  Running,  // its process lives and keeps its status fresh
  Stale,    // its process lives but its status is not fresh
  Gone,     // its process died without writing an end
  Ended,    // it wrote an end, for any cause but a stop
  Stopped,  // it wrote an end with the cause "stopped"
};

// Whether a shell in this life still has live values (pacing, idle time, host, counts).
bool is_live(Life life);

// One shell as the fleet view shows it.
struct FleetShell {
  std::string file;
  RuntimeStatus status;
  bool alive = true;  // its process lives
  Life life = Life::Running;
  // The pacing's name while running, else "stale", "gone", "ended" or "stopped".
  std::string state;
  std::vector<Need> needs;  // empty: nobody needs to look at it
  // Since its last update, by the older of `updated` and the file's time (zero for both ahead).
  Millis update_age{};
  bool host_failing = false;       // its host calls have failed for a minute (kHostFailingAfter)
  std::optional<Millis> idle_for;  // while live and idle: since the stretch began
};

struct FleetView {
  WallTime now{};
  std::vector<FleetShell> shells;  // those needing a person first, then by owner and file
  std::vector<SkippedFile> skipped;

  // A shell needs a person, or a file was skipped: its shell's state is unknown.
  bool needs_person() const;
};

FleetView make_fleet_view(std::vector<StatusFile> files, std::vector<SkippedFile> skipped,
                          WallTime now, const PidAlive& alive);

// The table for a person, one row a shell under a header, times in the local zone, ending in a
// summary line (the only line when there is no shell).
// With `colour`, the rows that need a person are red and the header bold (ANSI escapes).
std::string fleet_table(const FleetView& view, bool colour);

// The view as one JSON document (docs/operations.md has its schema), ending in a line feed.
std::string fleet_json(const FleetView& view);

// The view in Prometheus's text exposition format: each family that has a sample, with its HELP
// and TYPE lines, one sample a shell labelled with owner and shell_id (kelvo_ended also with
// cause), live families only for running and stale shells, and the unlabelled
// kelvo_files_skipped; no time stamps (the textfile collector refuses them). Control characters
// in label values are written as visible escapes (\x1b, \u202e).
std::string fleet_exposition(const FleetView& view);

}  // namespace kelvo
