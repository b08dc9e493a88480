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
// it rewrites the file at least once a minute.
inline constexpr Millis kStaleAfter = Millis(3 * 60 * 1000);

// Whether a process lives; kill(pid, 0) in the program, anything in tests.
using PidAlive = std::function<bool(std::int32_t pid)>;

// One status file of the runtime folder, decoded.
struct StatusFile {
  std::string name;  // the file name, e.g. "demo.json"
  RuntimeStatus status;
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

// One shell as the fleet view shows it.
struct FleetShell {
  std::string file;
  RuntimeStatus status;
  bool alive = true;  // its process lives
  // The pacing's name while the shell runs and is fresh; "gone" when its process died without
  // an end, "stale" when it lives but stopped updating, "ended" after a clean end.
  std::string state;
  std::vector<Need> needs;         // empty: nobody needs to look at it
  Millis update_age{};             // since its last update (zero for one dated ahead of now)
  std::optional<Millis> idle_for;  // while its endpoint is idle: since the stretch began
};

struct FleetView {
  WallTime now{};
  std::vector<FleetShell> shells;  // those needing a person first, then by owner and file
  std::vector<SkippedFile> skipped;

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

// The view in Prometheus's text exposition format: every family with its HELP and TYPE lines,
// one sample a shell labelled with owner and shell_id, no time stamps (the textfile collector
// refuses them).
std::string fleet_exposition(const FleetView& view);

}  // namespace kelvo
