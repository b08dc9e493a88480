#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "digest/designator.hpp"

namespace kelvo {

// `!!classify=<id>-<sub>:<name>!!`: fold a shown checkpoint into a named class of waits.
struct ClassifyCode {
  Designator designator;
  std::string class_name;
};

// `!!done!!`: blocked on a human, stop nudging for this idle stretch.
struct DoneCode {};

// `!!wait=m!!`: waiting on a peer or a task for m minutes.
struct WaitCode {
  std::uint32_t minutes;
};

using InlineCode = std::variant<ClassifyCode, DoneCode, WaitCode>;

}  // namespace kelvo
