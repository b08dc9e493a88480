#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kelvo::testing {

// Writes `dir`/`name` as an executable /bin/sh script with `body` after the "#!/bin/sh" line
// and returns its path. Stand-in hosts are written this way.
std::filesystem::path write_shell_script(const std::filesystem::path& dir, std::string_view name,
                                         std::string_view body);

// The whole file, or the empty text when it can't be read (a stand-in host that never ran).
std::string read_file(const std::filesystem::path& path);

}  // namespace kelvo::testing
