#include "common/files.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

namespace kelvo {

namespace {

Failure errno_failure(int error) { return Failure{std::generic_category().message(error)}; }

Failure close_after_failure(int fd) {
  const int error = errno;
  ::close(fd);
  return errno_failure(error);
}

Result<void> write_synced(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno_failure(errno);
  if (auto written = write_all(fd, bytes); !written) {
    ::close(fd);
    return written;
  }
  if (::fsync(fd) != 0) return close_after_failure(fd);
  if (::close(fd) != 0) return errno_failure(errno);
  return {};
}

// Makes a rename inside `dir` survive a crash; file systems that can't sync a folder pass.
Result<void> sync_directory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno_failure(errno);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0 && error != EINVAL && error != ENOTSUP) return errno_failure(error);
  return {};
}

// Leaves no partial file behind: what it created is removed when writing it fails.
Result<void> write_readable(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno_failure(errno);
  Result<void> written = ::fchmod(fd, 0644) == 0 ? write_all(fd, bytes) : errno_failure(errno);
  if (::close(fd) != 0 && written) written = errno_failure(errno);
  if (!written) ::unlink(path.c_str());
  return written;
}

// Reads `fd` to its end and closes it.
Result<std::string> read_to_end(int fd) {
  std::string text;
  char buffer[65536];
  try {
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return close_after_failure(fd);
      if (n == 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return Failure{"too large to hold in memory"};
  }
  ::close(fd);
  return text;
}

}  // namespace

Result<std::string> read_regular_file(const std::filesystem::path& path, std::size_t max_bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno_failure(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return close_after_failure(fd);
  if (!S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) > max_bytes) {
    ::close(fd);
    if (!S_ISREG(status.st_mode)) return Failure{"not a regular file"};
    return Failure{"larger than " + std::to_string(max_bytes) + " bytes"};
  }
  std::string text(max_bytes + 1, '\0');
  std::size_t filled = 0;
  // One byte more than allowed is asked for, so a file that grew after the fstat is caught.
  while (filled < text.size()) {
    const ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return close_after_failure(fd);
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (filled > max_bytes) return Failure{"larger than " + std::to_string(max_bytes) + " bytes"};
  text.resize(filled);
  return text;
}

Result<std::optional<std::filesystem::path>> keep_aside(const std::filesystem::path& path,
                                                        WallTime now) {
  // Never over an earlier backup: the first free millisecond from now on names this one.
  for (std::uint64_t ms = epoch_ms(now);; ++ms) {
    std::filesystem::path backup = path;
    backup += ".bad-" + std::to_string(ms);
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) == 0) {
      return std::optional(backup);
    }
    if (errno == EEXIST) continue;
    if (errno == ENOENT) return std::optional<std::filesystem::path>();
    return Failure{"cannot keep " + path.string() + " aside as " + backup.string() + ": " +
                   std::generic_category().message(errno)};
  }
}

Result<void> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno_failure(errno);
    if (written == 0) return Failure{"nothing written"};
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

Result<std::string> read_whole_file(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno_failure(errno);
  return read_to_end(fd);
}

Result<FileWithMode> read_whole_file_with_mode(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno_failure(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return close_after_failure(fd);
  auto bytes = read_to_end(fd);
  if (!bytes) return bytes.failure();
  return FileWithMode{std::move(*bytes), static_cast<unsigned>(status.st_mode) & 07777u};
}

Result<void> replace_file(const std::filesystem::path& path, std::string_view bytes,
                          const std::filesystem::path& temporary) {
  if (auto written = write_synced(temporary, bytes); !written) return written;
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (renamed) return Failure{renamed.message()};
  return sync_directory(path.parent_path());
}

Result<void> replace_file_unsynced(const std::filesystem::path& path, std::string_view bytes,
                                   const std::filesystem::path& temporary) {
  if (auto written = write_readable(temporary, bytes); !written) return written;
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (!renamed) return {};
  ::unlink(temporary.c_str());
  return Failure{renamed.message()};
}

}  // namespace kelvo
