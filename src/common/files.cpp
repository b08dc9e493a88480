#include "common/files.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
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

// Fills the file just opened as `fd` at `path`, mode 0644, and closes it; leaves no partial file
// behind: the file is removed when writing it fails.
Result<void> fill_readable(int fd, const std::filesystem::path& path, std::string_view bytes) {
  Result<void> written = ::fchmod(fd, 0644) == 0 ? write_all(fd, bytes) : errno_failure(errno);
  if (::close(fd) != 0 && written) written = errno_failure(errno);
  if (!written) ::unlink(path.c_str());
  return written;
}

Result<void> rename_or_remove(const std::filesystem::path& temporary,
                              const std::filesystem::path& path) {
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (!renamed) return {};
  ::unlink(temporary.c_str());
  return Failure{renamed.message()};
}

Failure too_large(std::size_t limit) {
  return Failure{"larger than " + std::to_string(limit) + " bytes"};
}

// Reads `fd` to its end, or refuses once it has given more than `limit` bytes.
Result<std::string> read_to_end(int fd, std::size_t limit) {
  std::string text;
  char buffer[65536];
  try {
    for (;;) {
      const std::size_t room = limit - text.size();
      const ssize_t n = ::read(fd, buffer, room < sizeof buffer ? room + 1 : sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno_failure(errno);
      if (n == 0) return text;
      if (static_cast<std::size_t>(n) > room) return too_large(limit);
      text.append(buffer, static_cast<std::size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    return Failure{"too large to hold in memory"};
  }
}

Result<RegularFile> read_open_regular_file(int fd, std::size_t limit) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno_failure(errno);
  if (!S_ISREG(info.st_mode)) return Failure{"not a regular file"};
  if (static_cast<std::uint64_t>(info.st_size) > limit) return too_large(limit);
  auto text = read_to_end(fd, limit);
  if (!text) return text.failure();
  const auto modified =
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
  return RegularFile{std::move(*text), WallTime(std::chrono::floor<Millis>(modified))};
}

}  // namespace

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
  auto text = read_to_end(fd, std::numeric_limits<std::size_t>::max());
  ::close(fd);
  return text;
}

Result<RegularFile> read_regular_file(const std::filesystem::path& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? Failure{"a symbolic link"} : errno_failure(errno);
  auto read = read_open_regular_file(fd, limit);
  ::close(fd);
  return read;
}

Result<void> replace_file(const std::filesystem::path& path, std::string_view bytes,
                          const std::filesystem::path& temporary) {
  if (auto written = write_synced(temporary, bytes); !written) return written;
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (renamed) return Failure{renamed.message()};
  return sync_directory(path.parent_path());
}

std::optional<std::string> shared_folder_refusal(unsigned owner, unsigned mode, unsigned caller) {
  if (owner != 0 && owner != caller) return "its folder belongs to user " + std::to_string(owner);
  if ((mode & (S_IWGRP | S_IWOTH)) != 0 && (mode & S_ISVTX) == 0) {
    return std::string("its folder is writable by other users and not sticky");
  }
  return std::nullopt;
}

Result<void> replace_shared_file(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return errno_failure(errno);
  if (auto refusal = shared_folder_refusal(info.st_uid, info.st_mode, ::geteuid())) {
    return Failure{std::move(*refusal)};
  }
  std::string temporary = path.string() + ".XXXXXX.tmp";
  const int fd = ::mkostemps(temporary.data(), 4, O_CLOEXEC);
  if (fd < 0) return errno_failure(errno);
  if (auto written = fill_readable(fd, temporary, bytes); !written) return written;
  return rename_or_remove(temporary, path);
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

Result<FileWithMode> read_whole_file_with_mode(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno_failure(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return close_after_failure(fd);
  auto bytes = read_to_end(fd, std::numeric_limits<std::size_t>::max());
  ::close(fd);
  if (!bytes) return bytes.failure();
  return FileWithMode{std::move(*bytes), static_cast<unsigned>(status.st_mode) & 07777u};
}

}  // namespace kelvo
