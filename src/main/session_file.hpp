#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.hpp"
#include "common/time.hpp"
#include "cycle/session_codec.hpp"

namespace kelvo {

// `<state_dir>/sessions/<stem>.json`, the stem being owner_file_stem(owner): apart from the
// owner's state file, whose format and moments of writing are its own.
std::filesystem::path session_path(const std::filesystem::path& state_dir, std::string_view owner);

// What start-up found in the session file.
struct FoundSession {
  std::optional<SessionRecord> record;  // a session of this owner and link, to restore
  std::optional<std::string> line;      // for a person: a file that could not be used
};

// The session of `owner` and the link of `fingerprint`, when the file holds one. A file that is
// damaged, of another format, owner or link is moved aside (see keep_aside) and said in `line`;
// so is one that cannot be read. No file: nothing at all.
FoundSession find_session(const std::filesystem::path& path, std::string_view owner,
                          std::string_view fingerprint, WallTime now);

// Replaces the file whole, synced, first making its folder; the reason is the line for a person.
Result<void> save_session(const std::filesystem::path& path, const SessionRecord& record);

}  // namespace kelvo
