#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qrn-sim/inbox.hpp"
#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// The home holds a file for each link, links/<token>.json, for each endpoint,
// endpoints/<owner>.json, and for each inbox, inbox/<owner>.jsonl, each with its lock file
// beside it (<file>.lock). Every file is replaced whole by write-temp-then-rename, so a reader
// never sees half of one. An endpoint's lock also guards the making, binding and revoking of
// the owner's links; whoever takes both locks takes the endpoint's first.

enum class LockMode { Shared, Exclusive };

// Holds an flock on <file>.lock while it lives; creates the lock file and its folder when
// they are missing.
class FileLock {
 public:
  FileLock(const std::filesystem::path& file, LockMode mode);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

// Tokens and owners are free text; a file name keeps [A-Za-z0-9_-] and writes every other
// byte as %XX, so none can name a path outside its folder, and no two share a file.
std::string safe_file_name(std::string_view text);

std::filesystem::path link_file(const std::filesystem::path& home, std::string_view token);
std::filesystem::path endpoint_file(const std::filesystem::path& home, std::string_view owner);
std::filesystem::path inbox_file(const std::filesystem::path& home, std::string_view owner);

// Nothing when there is no such file; SimError when it is damaged. Callers hold its lock.
std::optional<Link> load_link(const std::filesystem::path& file);
std::optional<Endpoint> load_endpoint(const std::filesystem::path& file);
void save_link(const std::filesystem::path& file, const Link& link);
void save_endpoint(const std::filesystem::path& file, const Endpoint& endpoint);

// The link under its file's shared lock; a missing file gets no lock file either.
std::optional<Link> read_link(const std::filesystem::path& file);

// The owner's endpoint; SimError naming the owner when no link was ever made for it. The
// first expects the caller to hold the endpoint's lock, the second takes it shared.
Endpoint existing_endpoint(const std::filesystem::path& home, const std::string& owner);
Endpoint read_endpoint(const std::filesystem::path& home, const std::string& owner);

// Every link of the home, each read under its shared lock.
LinksByFile read_links(const std::filesystem::path& home);

// Runs `change` on the link under the file's exclusive lock and saves the link when `change`
// returns true. False when there is no such link or `change` declined; nothing is saved when
// it throws.
template <typename Change>
bool update_link(const std::filesystem::path& file, Change change) {
  if (!std::filesystem::exists(file)) return false;  // an unknown token gets no lock file
  FileLock lock(file, LockMode::Exclusive);
  std::optional<Link> link = load_link(file);
  if (!link || !change(*link)) return false;
  save_link(file, *link);
  return true;
}

// Runs `change` on the owner's endpoint under its exclusive lock and saves the endpoint; nothing
// is saved when it throws. SimError as above.
template <typename Change>
void update_endpoint(const std::filesystem::path& home, const std::string& owner, Change change) {
  const std::filesystem::path file = endpoint_file(home, owner);
  FileLock lock(file, LockMode::Exclusive);
  Endpoint endpoint = existing_endpoint(home, owner);
  change(endpoint);
  save_endpoint(file, endpoint);
}

// Oldest first; callers hold the inbox's lock. SimError when the file is damaged.
std::vector<InboxMessage> load_inbox(const std::filesystem::path& home, std::string_view owner);
void append_inbox(const std::filesystem::path& home, std::string_view owner,
                  const InboxMessage& message);

// Everything up to end of file, reading on after interruptions; SimError when a read fails.
std::string read_all(int fd);

// Writes a sibling temporary file and renames it over `file`.
void replace_file(const std::filesystem::path& file, std::string_view content);

// Appends `line` to `file`, opened for appending, so that the lines of writers running side by
// side never mix.
void append_line(const std::filesystem::path& file, std::string_view line);

}  // namespace kelvo::sim
