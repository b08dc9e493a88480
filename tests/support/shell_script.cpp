#include "support/shell_script.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kelvo::testing {

std::filesystem::path write_shell_script(const std::filesystem::path& dir, std::string_view name,
                                         std::string_view body) {
  const std::filesystem::path path = dir / name;
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "#!/bin/sh\n" << body;
    if (!file.good()) throw std::runtime_error("cannot write " + path.string());
  }
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                std::filesystem::perms::others_exec);
  return path;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace kelvo::testing
