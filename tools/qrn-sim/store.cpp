#include "qrn-sim/store.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "common/files.hpp"
#include "common/percent_encoding.hpp"
#include "common/text.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/state_json.hpp"

namespace kelvo::sim {

namespace fs = std::filesystem;

namespace {

SimError io_error(const std::string& what, const fs::path& path) {
  return SimError(what + " " + path.string() + ": " + std::strerror(errno));
}

// Nothing when the file does not exist. Plain reads rather than a stream: every host call
// starts qrn-sim afresh, and setting up the streams' locale is a good part of a short run.
std::optional<std::string> read_file(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return std::nullopt;
  if (fd < 0) throw io_error("cannot open", file);
  try {
    std::string content = read_all(fd);
    ::close(fd);
    return content;
  } catch (const SimError& error) {
    ::close(fd);
    throw SimError(file.string() + ": " + error.what());
  }
}

void make_directories(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) throw SimError("cannot create " + dir.string() + ": " + error.message());
}

template <typename T>
std::optional<T> load_json_file(const fs::path& file, T (*from_json)(const nlohmann::json&),
                                std::string_view what) {
  const auto content = read_file(file);
  if (!content) return std::nullopt;
  try {
    return from_json(nlohmann::json::parse(*content));
  } catch (const nlohmann::json::exception& error) {
    throw SimError("damaged " + std::string(what) + " file " + file.string() + ": " + error.what());
  }
}

fs::path lock_file_of(const fs::path& file) {
  fs::path lock = file;
  lock += ".lock";
  return lock;
}

bool file_exists(const fs::path& file) { return ::access(file.c_str(), F_OK) == 0; }

}  // namespace

std::string read_all(int fd) {
  std::string content;
  std::array<char, 4096> buffer;  // one page: a short run pays a fault for every page it touches
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SimError(std::string("cannot read: ") + std::strerror(errno));
    if (n == 0) return content;
    content.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

FileLock::FileLock(const fs::path& file, LockMode mode) {
  make_directories(file.parent_path());
  const fs::path lock = lock_file_of(file);
  fd_ = ::open(lock.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw io_error("cannot open", lock);
  const int operation = mode == LockMode::Shared ? LOCK_SH : LOCK_EX;
  while (::flock(fd_, operation) != 0) {
    if (errno == EINTR) continue;
    const SimError error = io_error("cannot lock", lock);
    ::close(fd_);
    throw error;
  }
}

FileLock::~FileLock() { ::close(fd_); }  // closing releases the flock

std::string safe_file_name(std::string_view text) { return percent_encode(text, "_-"); }

fs::path link_file(const fs::path& home, std::string_view token) {
  return home / "links" / (safe_file_name(token) + ".json");
}

fs::path endpoint_file(const fs::path& home, std::string_view owner) {
  return home / "endpoints" / (safe_file_name(owner) + ".json");
}

fs::path inbox_file(const fs::path& home, std::string_view owner) {
  return home / "inbox" / (safe_file_name(owner) + ".jsonl");
}

std::optional<Link> load_link(const fs::path& file) {
  return load_json_file(file, link_from_json, "link");
}

std::optional<Endpoint> load_endpoint(const fs::path& file) {
  return load_json_file(file, endpoint_from_json, "endpoint");
}

void save_link(const fs::path& file, const Link& link) {
  replace_file(file, link_to_json(link).dump(2) + "\n");
}

void save_endpoint(const fs::path& file, const Endpoint& endpoint) {
  replace_file(file, endpoint_to_json(endpoint).dump(2) + "\n");
}

std::optional<Link> read_link(const fs::path& file) {
  if (!file_exists(file)) return std::nullopt;
  FileLock lock(file, LockMode::Shared);
  return load_link(file);
}

Endpoint existing_endpoint(const fs::path& home, const std::string& owner) {
  std::optional<Endpoint> endpoint = load_endpoint(endpoint_file(home, owner));
  if (!endpoint) {
    throw SimError("no endpoint for owner " + owner + " (make one with `link new --owner " + owner +
                   "`)");
  }
  return std::move(*endpoint);
}

Endpoint read_endpoint(const fs::path& home, const std::string& owner) {
  const fs::path file = endpoint_file(home, owner);
  std::optional<FileLock> lock;
  if (file_exists(file)) lock.emplace(file, LockMode::Shared);  // a missing one gets no lock file
  return existing_endpoint(home, owner);
}

LinksByFile read_links(const fs::path& home) {
  LinksByFile links;
  const fs::path folder = home / "links";
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error == std::errc::no_such_file_or_directory) return links;
  if (error) throw SimError("cannot list " + folder.string() + ": " + error.message());
  for (const auto& entry : entries) {
    // Lock files and the temporary files of a save in progress are skipped.
    if (entry.path().extension() != ".json") continue;
    if (auto link = read_link(entry.path())) links.emplace(entry.path(), std::move(*link));
  }
  return links;
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
  if (const auto replaced = kelvo::replace_file(file, content, temporary); !replaced) {
    ::unlink(temporary.c_str());
    throw SimError("cannot replace " + file.string() + ": " + replaced.failure().reason);
  }
}

void append_line(const fs::path& file, std::string_view line) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) throw io_error("cannot open", file);
  const auto written = write_all(fd, line);
  const bool closed = ::close(fd) == 0;
  if (!written) throw SimError("cannot write " + file.string() + ": " + written.failure().reason);
  if (!closed) throw io_error("cannot write", file);
}

}  // namespace kelvo::sim
