#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// Each queues `frame` under the link's exclusive lock, on links still live when it is taken,
// and returns how many links got it.

// Every live link of `owner`.
std::size_t queue_for_owner(const std::filesystem::path& home, std::string_view owner,
                            const QueuedFrame& frame);

// The links in `files` that still have `shell_id`.
std::size_t queue_for_shell(const std::vector<std::filesystem::path>& files,
                            std::string_view shell_id, const QueuedFrame& frame);

}  // namespace kelvo::sim
