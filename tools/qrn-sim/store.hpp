#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "qrn-sim/inbox.hpp"
#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// The home holds: lock (the flock target), state.json, and inbox/<owner>.jsonl.
// Every file is replaced whole by write-temp-then-rename, so a reader never sees half of one.

enum class LockMode { Shared, Exclusive };

// Holds an flock on <home>/lock while it lives; creates the home when it is missing.
class HomeLock {
 public:
  HomeLock(const std::filesystem::path& home, LockMode mode);
  ~HomeLock();
  HomeLock(const HomeLock&) = delete;
  HomeLock& operator=(const HomeLock&) = delete;

 private:
  int fd_;
};

// The empty state when there is no file yet; SimError when the file is damaged.
SimState load_state(const std::filesystem::path& home);
void save_state(const std::filesystem::path& home, const SimState& state);

// Runs `change` on the state under the exclusive lock and saves the result; nothing is saved
// when `change` throws.
template <typename Change>
auto update_state(const std::filesystem::path& home, Change change) {
  HomeLock lock(home, LockMode::Exclusive);
  SimState state = load_state(home);
  if constexpr (std::is_void_v<std::invoke_result_t<Change, SimState&>>) {
    change(state);
    save_state(home, state);
  } else {
    auto result = change(state);
    save_state(home, state);
    return result;
  }
}

// A snapshot under the shared lock.
SimState read_state(const std::filesystem::path& home);

// Owners are free text; the file name keeps [A-Za-z0-9_-] and writes every other byte as %XX,
// so no owner can name a path outside the inbox folder.
std::string inbox_file_name(std::string_view owner);

// Oldest first; callers hold a lock. SimError when the file is damaged.
std::vector<InboxMessage> load_inbox(const std::filesystem::path& home, std::string_view owner);
void append_inbox(const std::filesystem::path& home, std::string_view owner,
                  const InboxMessage& message);

// Writes a sibling temporary file and renames it over `file`.
void replace_file(const std::filesystem::path& file, std::string_view content);

}  // namespace kelvo::sim
