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

// A file read whole by read_regular_file, with the time it was last written.
struct RegularFile {
  std::string text;
  WallTime modified{};
};

// Reads a file that another user may have placed: never through a symbolic link, never held up by
// a fifo or a device, only a regular file of at most `limit` bytes. Anything else is refused with
// the reason ("a symbolic link", "not a regular file", "larger than N bytes", …).
Result<RegularFile> read_regular_file(const std::filesystem::path& path, std::size_t limit);

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

// As replace_file_unsynced, for a folder where another user may have planted names: the
// temporary, `<path>.XXXXXX.tmp`, gets a name nobody can predict and is created anew, so nothing
// already there is written through or has its mode changed.
Result<void> replace_file_unsynced_unique(const std::filesystem::path& path,
                                          std::string_view bytes);

}  // namespace kelvo
