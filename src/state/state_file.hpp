#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "common/result.hpp"
#include "common/time.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// `<state_dir>/state/<stem>.json`, the stem being owner_file_stem(owner).
std::filesystem::path state_path(const std::filesystem::path& state_dir, std::string_view owner);

// The owner state in the file, the default state when there is none; why not, when a file is
// there but cannot be read or is no state file.
Result<OwnerState> load_state(const std::filesystem::path& path);

// Replaces the file in one step through `<path>.tmp`, synced to disk before and after the
// rename, first making its folder. On failure the old file is left as it was, and the reason is
// the whole line for a person ("state save failed: …", "state dir create failed under …").
Result<void> save_state(const std::filesystem::path& path, const OwnerState& state);

}  // namespace kelvo
