#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/time.hpp"
#include "cycle/host_output.hpp"
#include "cycle/outbox.hpp"
#include "cycle/shell_context.hpp"
#include "digest/inline_code.hpp"

namespace kelvo {

// The decisions of one cycle, step by step. Each takes what its host call printed (the driver
// makes the call) and the cycle's one clock reading, changes the run, and puts what is to be done
// in the outbox, which the driver carries out before its next host call.

inline constexpr std::uint32_t REFUSALS_TO_SUPERSEDE = 3;

// What reading the poll leaves for the later steps.
struct PollReading {
  bool superseded = false;                  // the third refused poll in a row
  std::optional<std::string> host_failure;  // a failed poll without a refusal
  std::vector<InlineCode> codes;            // from untruncated (or blind) agent output
  std::vector<std::uint64_t> pending_seqs;  // truncated outputs to read in the digest
};

// Reads the poll: its refusal, then every line in order, acting on operator commands at once;
// after a boundary, the intro again.
PollReading read_poll(ShellContext& context, const HostOutput& poll_output, WallTime now,
                      Outbox& outbox);

// Whether the cycle has truncated output to follow up in the digest.
bool needs_digest(const ShellContext& context, const PollReading& reading);

// The cycle's codes, with those of the digest text when there is one, applied to the run.
void read_codes(ShellContext& context, PollReading& reading,
                std::optional<std::string_view> digest_text, WallTime now, Outbox& outbox);

// The activity edges of drive-poll, with the board shown at the end of a quiet stretch, then the
// host's health over both polls of the cycle.
void read_activity(ShellContext& context, const HostOutput& drive_poll_output,
                   const PollReading& reading, WallTime now, Outbox& outbox);

// The nudge, when the machine says one is due.
void judge_nudge(ShellContext& context, WallTime now, Outbox& outbox);

}  // namespace kelvo
