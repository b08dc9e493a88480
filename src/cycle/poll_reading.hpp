#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "digest/inline_code.hpp"

namespace kelvo {

// What reading the poll leaves for the later steps of a cycle.
struct PollReading {
  bool superseded = false;                  // the third refused poll in a row
  std::optional<std::string> host_failure;  // a failed poll without a refusal
  std::vector<InlineCode> codes;            // from the agent's output, in the order it came
  std::vector<std::uint64_t> pending_seqs;  // truncated outputs to read in the digest
  std::string done_text;                    // the last agent text that holds a `!!done!!`
  std::optional<InlineCode> verdict;        // the done or wait code that won, once applied
};

// Scans one agent text and appends its codes.
void take_codes(PollReading& reading, std::string_view text);

}  // namespace kelvo
