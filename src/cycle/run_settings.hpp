#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/time.hpp"
#include "cycle/attention.hpp"
#include "frame/frame_mac.hpp"

namespace kelvo {

// What a run is fixed to at start-up. The driver owns it; the cycle's steps only read it. The
// link token itself is not here: only the driver's host calls need it.
struct RunSettings {
  FrameKey frame_key;  // derived from the link once: every poll line is checked under it
  std::optional<std::string> owner;                 // without one nothing is ever sent
  std::optional<std::string> shell_id;              // without one nothing is polled
  std::optional<std::filesystem::path> state_path;  // the owner's state file, when there is one
  // The unanswered nudges of one idle stretch after which it is told as unresponsive; 0: never.
  std::uint32_t unresponsive_after = DEFAULT_UNRESPONSIVE_AFTER;
  std::uint32_t process_id = 0;  // seeds the run's stretch ids
  WallTime started{};            // when the run was set up
};

}  // namespace kelvo
