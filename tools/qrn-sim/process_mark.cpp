#include "qrn-sim/process_mark.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>

#include "common/text.hpp"

namespace kelvo::sim {

namespace {

constexpr std::size_t kStartField = 22;

// The stat line of `pid`, when /proc shows it: one short read, as the kernel writes it whole.
std::optional<std::string> read_proc_stat(std::int64_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::array<char, 1024> buffer;
  ssize_t n;
  do {
    n = ::read(fd, buffer.data(), buffer.size());
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace

std::optional<ProcStat> parse_proc_stat(std::string_view line) {
  const std::size_t name_end = line.rfind(')');
  if (name_end == std::string_view::npos) return std::nullopt;
  const auto fields = split_whitespace(line.substr(name_end + 1));  // from field 3 on
  if (fields.size() < kStartField - 2 || fields[0].size() != 1) return std::nullopt;
  const auto start = parse_u64(fields[kStartField - 3]);
  if (!start) return std::nullopt;
  return ProcStat{fields[0][0], *start};
}

ProcessMark calling_process() {
  ProcessMark mark{::getppid(), std::nullopt};
  if (const auto line = read_proc_stat(mark.pid)) {
    if (const auto stat = parse_proc_stat(*line)) mark.start = stat->start;
  }
  return mark;
}

bool process_has_ended(const ProcessMark& mark) {
  if (mark.pid <= 0) return false;  // no pid to look for: kill() would take it as a group
  const auto line = read_proc_stat(mark.pid);
  if (!line) return ::kill(static_cast<pid_t>(mark.pid), 0) != 0 && errno == ESRCH;
  const auto stat = parse_proc_stat(*line);
  if (!stat) return false;
  return stat->state == 'Z' || stat->state == 'X' || (mark.start && *mark.start != stat->start);
}

}  // namespace kelvo::sim
