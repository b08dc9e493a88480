#pragma once

#include <filesystem>
#include <optional>
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

// Why a folder is no place for a file that others read: it belongs to a user other than root and
// the caller, or users other than its owner may write in it without the sticky bit (they could
// swap the file under the writer); nothing when it will do.
std::optional<std::string> shared_folder_refusal(unsigned owner, unsigned mode, unsigned caller);

// Replaces `path` in one step with a file every user may read (mode 0644 whatever the umask),
// for data that need not survive a crash: refuses a folder that shared_folder_refusal refuses,
// writes a temporary created afresh under an unpredictable name beside `path` (never through a
// link planted there), renames it over `path`, and syncs nothing. On failure `path` is as it was
// and no temporary remains.
Result<void> replace_shared_file(const std::filesystem::path& path, std::string_view bytes);

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

}  // namespace kelvo
