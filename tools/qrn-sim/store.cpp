#include "qrn-sim/store.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "common/text.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/state_json.hpp"

namespace kelvo::sim {

namespace fs = std::filesystem;

namespace {

SimError io_error(const std::string& what, const fs::path& path) {
  return SimError(what + " " + path.string() + ": " + std::strerror(errno));
}

fs::path state_file(const fs::path& home) { return home / "state.json"; }

fs::path inbox_file(const fs::path& home, std::string_view owner) {
  return home / "inbox" / (inbox_file_name(owner) + ".jsonl");
}

std::optional<std::string> read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_all(int fd, std::string_view content, const fs::path& path) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw io_error("cannot write", path);
    content.remove_prefix(static_cast<std::size_t>(n));
  }
}

void make_directories(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) throw SimError("cannot create " + dir.string() + ": " + error.message());
}

}  // namespace

HomeLock::HomeLock(const fs::path& home, LockMode mode) {
  make_directories(home);
  const fs::path file = home / "lock";
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw io_error("cannot open", file);
  const int operation = mode == LockMode::Shared ? LOCK_SH : LOCK_EX;
  while (::flock(fd_, operation) != 0) {
    if (errno == EINTR) continue;
    const SimError error = io_error("cannot lock", file);
    ::close(fd_);
    throw error;
  }
}

HomeLock::~HomeLock() { ::close(fd_); }  // closing releases the flock

SimState load_state(const fs::path& home) {
  const auto content = read_file(state_file(home));
  if (!content) return {};
  try {
    return state_from_json(nlohmann::json::parse(*content));
  } catch (const nlohmann::json::exception& error) {
    throw SimError("damaged state file " + state_file(home).string() + ": " + error.what());
  }
}

void save_state(const fs::path& home, const SimState& state) {
  replace_file(state_file(home), state_to_json(state).dump(2) + "\n");
}

SimState read_state(const fs::path& home) {
  HomeLock lock(home, LockMode::Shared);
  return load_state(home);
}

std::string inbox_file_name(std::string_view owner) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string name;
  for (const char c : owner) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (plain || c == '_' || c == '-') {
      name += c;
    } else {
      name += '%';
      name += kDigits[byte >> 4];
      name += kDigits[byte & 0x0F];
    }
  }
  return name;
}

std::vector<InboxMessage> load_inbox(const fs::path& home, std::string_view owner) {
  const fs::path file = inbox_file(home, owner);
  std::vector<InboxMessage> messages;
  const auto content = read_file(file);
  if (!content) return messages;
  try {
    for (const auto line : split_lines(*content)) {
      if (!line.empty()) messages.push_back(inbox_message_from(line));
    }
  } catch (const nlohmann::json::exception& error) {
    throw SimError("damaged inbox file " + file.string() + ": " + error.what());
  }
  return messages;
}

void append_inbox(const fs::path& home, std::string_view owner, const InboxMessage& message) {
  const fs::path file = inbox_file(home, owner);
  make_directories(file.parent_path());
  std::string content = read_file(file).value_or("");
  content += inbox_line(message);
  content += '\n';
  replace_file(file, content);
}

void replace_file(const fs::path& file, std::string_view content) {
  fs::path temporary = file;
  temporary += ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw io_error("cannot create", temporary);
  try {
    write_all(fd, content, temporary);
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw;
  }
  if (::close(fd) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0) {
    const SimError error = io_error("cannot replace", file);
    ::unlink(temporary.c_str());
    throw error;
  }
}

}  // namespace kelvo::sim
