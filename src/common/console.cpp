#include "common/console.hpp"

#include <unistd.h>

#include <string>

#include "common/files.hpp"

namespace kelvo {

void report(std::string_view message) {
  std::string line = "kelvo-shell: ";
  line.append(message);
  line += '\n';
  // Nowhere is left to report a failure to write standard error.
  static_cast<void>(write_all(STDERR_FILENO, line));
}

}  // namespace kelvo
