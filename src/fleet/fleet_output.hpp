#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.hpp"

namespace kelvo {

// Why kelvo-fleet will not write into a folder with this owner and mode when run as `caller`:
// another user than root and the caller owns it, or group or others may write it without the
// sticky bit. Such a user could swap the file or its folder's entries under a writer run as root.
std::optional<std::string> output_folder_refusal(uid_t owner, mode_t mode, uid_t caller);

// Replaces `file` whole with `text`, mode 0644, through a temporary beside it that nobody can
// predict or plant; refuses a folder that output_folder_refusal refuses.
Result<void> write_output(const std::filesystem::path& file, std::string_view text);

}  // namespace kelvo
