#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace kelvo {

// What one run has seen; reported only in the operator's status reply, never persisted.
struct RunCounters {
  std::uint64_t frames = 0;  // verified io frames of any kind
  std::uint64_t agent_outputs = 0;
  std::map<std::string, std::uint64_t> kinds;  // io frame kind (whole) to its count
  std::uint64_t codes = 0;                     // inline codes handed to the pacing machine
  std::uint64_t truncated_followed = 0;        // truncated outputs queued for the digest
  std::uint64_t truncated_blind = 0;           // truncated outputs without a seq
  std::uint64_t pointers_missed = 0;           // queued seqs the digest did not hold
  std::uint64_t boundaries = 0;
  std::uint64_t refused = 0;  // lines mentioning type="boundary" that are no verified boundary
};

// "; kinds: AGENT_OUTPUT 2, other 1", or "" when no io frame has been seen.
std::string kinds_text(const std::map<std::string, std::uint64_t>& kinds);

// The run summary that ends the status reply; it begins with a line break.
std::string io_summary(const RunCounters& counters);

}  // namespace kelvo
