#pragma once

#include <filesystem>
#include <string_view>

#include "state/owner_state.hpp"

namespace kelvo {

// `<state_dir>/state/<owner>.json`. An owner that is empty, "." or "..", or holds "/", "\", "%"
// or a control byte has every byte outside A-Z a-z 0-9 . _ - written as %XX (upper-case hex),
// so the file stays inside the state folder and no two owners share a file.
std::filesystem::path state_path(const std::filesystem::path& state_dir, std::string_view owner);

// The owner state in the file; a missing, unreadable or malformed file gives the default state.
OwnerState load_state(const std::filesystem::path& path);

// Replaces the file in one step through `<path>.tmp`, synced to disk before and after the
// rename. Failures are reported on standard error; the old file is then left as it was.
void save_state(const std::filesystem::path& path, const OwnerState& state);

}  // namespace kelvo
