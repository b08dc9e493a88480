#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/time.hpp"
#include "cycle/host_output.hpp"
#include "cycle/outbox.hpp"
#include "cycle/poll_reading.hpp"
#include "cycle/shell_state.hpp"
#include "digest/inline_code.hpp"

namespace kelvo {

// The decisions of one cycle, step by step. Each takes what its host call printed (the driver
// makes the call) and the cycle's one clock reading, changes the shell's state, and puts what is
// to be done in the outbox, which the driver carries out before its next host call.

inline constexpr std::uint32_t REFUSALS_TO_SUPERSEDE = 3;

// Reads the poll: its refusal, then every line in order, acting on operator commands at once;
// after a boundary, the intro again. The third refused poll in a row ends the run.
PollReading read_poll(const RunSettings& run, ShellState& state, const HostOutput& poll_output,
                      WallTime now, Outbox& outbox);

// Whether the cycle has truncated output to follow up in the digest.
bool needs_digest(const RunSettings& run, const PollReading& reading);

// The cycle's codes, with those of the digest text when there is one, applied to the state.
void read_codes(const RunSettings& run, ShellState& state, PollReading& reading,
                std::optional<std::string_view> digest_text, WallTime now, Outbox& outbox);

// The activity edges of drive-poll, with the board shown at the end of a quiet stretch and the
// return to work told as `resumed` when the agent was told blocked or unresponsive; then the
// host's health over the cycle's host calls. A done or wait code of this cycle belongs to a newer
// idle stretch that drive-poll reports in the same cycle: the agent wrote it after that stretch
// began, in a busy spell too short for the shell to see. The first report after a restored
// session checks it against the endpoint: a stretch other than the one it left is taken as a
// return to work in between.
void read_activity(const RunSettings& run, ShellState& state, const HostOutput& drive_poll_output,
                   const PollReading& reading, WallTime now, Outbox& outbox);

// The nudge, when the machine says one is due, and `unresponsive` when the stretch's Nth
// unanswered nudge is followed by another; the reminder of a blocked agent every
// BLOCKED_REMINDER_EVERY.
void judge_nudge(const RunSettings& run, ShellState& state, WallTime now, Outbox& outbox);

// Takes in what the driver saw while it carried out the last outbox.
void follow_delivery(ShellState& state, const Delivery& delivery);

// A stop asked for by a signal (named as in "SIGTERM"): the run ends, told as `ending`.
void stop_run(const RunSettings& run, ShellState& state, std::string_view signal_name, WallTime now,
              Outbox& outbox);

}  // namespace kelvo
