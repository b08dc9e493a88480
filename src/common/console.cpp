#include "common/console.hpp"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace kelvo {

void report(std::string_view message) {
  std::string line = "kelvo-shell: ";
  line.append(message);
  line += '\n';
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace kelvo
