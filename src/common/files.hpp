#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/result.hpp"
#include "common/time.hpp"

namespace kelvo {

// Writes all of `bytes`, going on after short writes and interrupted calls.
Result<void> write_all(int fd, std::string_view bytes);

// The whole file, or why it could not be read ("No such file or directory", …).
Result<std::string> read_whole_file(const std::filesystem::path& path);

// The whole file when it is a regular file of at most `max_bytes`, opened without following a
// symbolic link in its last component and without waiting on a FIFO or a device; otherwise why
// not ("Too many levels of symbolic links", "not a regular file", "larger than 65536 bytes").
Result<std::string> read_regular_file(const std::filesystem::path& path, std::size_t max_bytes);

// Moves a file aside to `<path>.bad-<unix ms of now>` (a later millisecond when that name is
// taken), so that writing a new one in its place loses nothing. Gives the new name, or nothing
// when the file has gone meanwhile.
Result<std::optional<std::filesystem::path>> keep_aside(const std::filesystem::path& path,
                                                        WallTime now);

// A file's bytes and its permission bits (mode & 07777), both from one open of it.
struct FileWithMode {
  std::string bytes;
  unsigned mode = 0;
};

// As read_whole_file, with the mode of the file read.
Result<FileWithMode> read_whole_file_with_mode(const std::filesystem::path& path);

// Replaces `path` in one step: writes `temporary`, flushes it to disk, renames it over `path` and
// flushes the folder, so a crash leaves the old file or the new one, never a mix. On failure
// `path` is as it was; `temporary` may remain.
Result<void> replace_file(const std::filesystem::path& path, std::string_view bytes,
                          const std::filesystem::path& temporary);

// Replaces `path` in one step, for runtime data that need not survive a crash: writes
// `temporary` with mode 0644 whatever the umask (it holds nothing secret and other users read
// it), renames it over `path`, and syncs nothing. On failure `path` is as it was and
// `temporary` is removed.
Result<void> replace_file_unsynced(const std::filesystem::path& path, std::string_view bytes,
                                   const std::filesystem::path& temporary);

}  // namespace kelvo
