#include "state/state_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#include "common/console.hpp"
#include "common/text.hpp"
#include "state/state_codec.hpp"

namespace kelvo {

namespace {

bool is_plain_owner(std::string_view owner) {
  if (owner.empty() || owner == "." || owner == "..") return false;
  for (const char c : owner) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == '%' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool is_kept_in_encoding(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

std::string percent_encoded(std::string_view owner) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string stem;
  for (const char c : owner) {
    if (is_kept_in_encoding(c)) {
      stem += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      stem += '%';
      stem += kHex[byte >> 4];
      stem += kHex[byte & 0xF];
    }
  }
  return stem;
}

std::string error_text(int error) { return std::generic_category().message(error); }

std::string close_after_failure(int fd) {
  const int error = errno;
  ::close(fd);
  return error_text(error);
}

// Writes all of `bytes` to a fresh or truncated file and syncs it; the error text on failure.
std::optional<std::string> write_synced(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return error_text(errno);
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return close_after_failure(fd);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  if (::fsync(fd) != 0) return close_after_failure(fd);
  if (::close(fd) != 0) return error_text(errno);
  return std::nullopt;
}

// Makes a rename inside `dir` survive a crash; file systems that can't sync a folder pass.
std::optional<std::string> sync_directory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return error_text(errno);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0 && error != EINVAL && error != ENOTSUP) return error_text(error);
  return std::nullopt;
}

std::optional<std::string> replace_file(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  if (auto failure = write_synced(temporary, bytes)) return failure;
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (renamed) return renamed.message();
  return sync_directory(path.parent_path());
}

}  // namespace

std::filesystem::path state_path(const std::filesystem::path& state_dir, std::string_view owner) {
  const std::string stem = is_plain_owner(owner) ? std::string(owner) : percent_encoded(owner);
  return state_dir / "state" / (stem + ".json");
}

OwnerState load_state(const std::filesystem::path& path) {
  try {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) return {};
    return parse_state(text.str()).value_or(OwnerState{});
  } catch (const std::bad_alloc&) {
    return {};  // a file too big to hold is as unreadable as a missing one
  }
}

void save_state(const std::filesystem::path& path, const OwnerState& state) {
  const std::filesystem::path dir = path.parent_path();
  if (dir.empty()) return;
  std::error_code created;
  std::filesystem::create_directories(dir, created);
  if (created) {
    report(fill("state dir create failed under {}", {dir.string()}));
    return;
  }
  const auto text = serialize_state(state);
  if (const auto* error = std::get_if<SerializeError>(&text)) {
    report(fill("state serialize failed: {}", {error->message}));
    return;
  }
  if (const auto failure = replace_file(path, std::get<std::string>(text))) {
    report(fill("state save failed: {}", {*failure}));
  }
}

}  // namespace kelvo
