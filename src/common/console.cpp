#include "common/console.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "common/files.hpp"
#include "common/text.hpp"

namespace kelvo {

namespace {

// Asked once: standard error does not change while the shell runs.
bool stderr_is_journal() {
  static const bool is_journal = [] {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat status {};
    if (stream == nullptr || ::fstat(STDERR_FILENO, &status) != 0) return false;
    return names_stream(stream, status.st_dev, status.st_ino);
  }();
  return is_journal;
}

}  // namespace

bool names_stream(std::string_view journal_stream, unsigned long long stderr_device,
                  unsigned long long stderr_inode) {
  const std::size_t colon = journal_stream.find(':');
  if (colon == std::string_view::npos) return false;
  const auto device = parse_u64(journal_stream.substr(0, colon));
  const auto inode = parse_u64(journal_stream.substr(colon + 1));
  return device && inode && *device == stderr_device && *inode == stderr_inode;
}

std::string console_line(Urgency urgency, std::string_view message, bool to_journal) {
  std::string line;
  if (to_journal) line = "<" + std::to_string(static_cast<int>(urgency)) + ">";
  line += "kelvo-shell: ";
  line.append(message);
  line += '\n';
  return line;
}

void report(Urgency urgency, std::string_view message) {
  // Nowhere is left to report a failure to write standard error.
  static_cast<void>(write_all(STDERR_FILENO, console_line(urgency, message, stderr_is_journal())));
}

}  // namespace kelvo
