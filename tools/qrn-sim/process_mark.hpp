#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvo::sim {

// A process as a later run of qrn-sim can tell it apart: its pid and, where /proc shows it, its
// start time (clock ticks after boot), which a new process that is given the same pid won't have.
struct ProcessMark {
  std::int64_t pid = 0;
  std::optional<std::uint64_t> start;

  bool operator==(const ProcessMark&) const = default;
};

// What a /proc/<pid>/stat line says about whether the process has ended.
struct ProcStat {
  char state = 0;  // 'Z' and 'X': it has ended and waits only to be reaped, or not even that
  std::uint64_t start = 0;
};

// The state (field 3) and start time (field 22) of a stat line. The name in field 2 may hold
// spaces and parentheses, so the fields are counted from its last ')'.
std::optional<ProcStat> parse_proc_stat(std::string_view line);

// The process that ran this qrn-sim: the one that made the host call.
ProcessMark calling_process();

// Whether the marked process has ended: no such pid, a zombie, or another process under its pid.
// One this user may not look at under /proc (hidepid) counts as running while its pid exists.
bool process_has_ended(const ProcessMark& mark);

}  // namespace kelvo::sim
