#include "support/shell_script.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "common/files.hpp"

namespace kelvo::testing {

std::filesystem::path write_shell_script(const std::filesystem::path& dir, std::string_view name,
                                         std::string_view body) {
  const std::filesystem::path path = dir / name;
  // Close-on-exec: a program that another test thread starts while this file is open for
  // writing must not inherit the descriptor, or running the script fails with ETXTBSY for as
  // long as that program lives.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (fd < 0) throw std::runtime_error("cannot write " + path.string());
  const std::string text = "#!/bin/sh\n" + std::string(body);
  const auto written = write_all(fd, text);
  ::close(fd);
  if (!written) throw std::runtime_error("cannot write " + path.string());
  // An existing file keeps its mode through O_TRUNC, so set it either way.
  std::filesystem::permissions(path, std::filesystem::perms(0755));
  return path;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace kelvo::testing
