#include "main/session_file.hpp"

#include <cerrno>
#include <system_error>

#include "common/files.hpp"
#include "common/owner_stem.hpp"
#include "common/text.hpp"

namespace kelvo {

namespace {

// Far more than any session the shell writes.
constexpr std::size_t kMaxSessionBytes = 1024 * 1024;

// Why a file that was read cannot serve this run, or nothing when it can.
std::optional<std::string> unusable(const std::optional<SessionRecord>& record,
                                    std::string_view owner, std::string_view fingerprint) {
  if (!record) return "damaged or of another format";
  if (record->owner != owner) return "of another owner";
  if (record->link_fingerprint != fingerprint) return "of another link";
  return std::nullopt;
}

}  // namespace

std::filesystem::path session_path(const std::filesystem::path& state_dir, std::string_view owner) {
  return state_dir / "sessions" / (owner_file_stem(owner) + ".json");
}

FoundSession find_session(const std::filesystem::path& path, std::string_view owner,
                          std::string_view fingerprint, WallTime now) {
  const auto text = read_regular_file(path, kMaxSessionBytes);
  std::string why;
  if (text) {
    std::optional<SessionRecord> record = decode_session(text->text);
    const auto reason = unusable(record, owner, fingerprint);
    if (!reason) return {std::move(record), std::nullopt};
    why = *reason;
  } else {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)) && !error) {
      return {};
    }
    why = "unreadable: " + text.failure().reason;
  }
  const auto kept = keep_aside(path, now);
  if (!kept)
    return {std::nullopt,
            fill("session file {} {}; {}", {path.string(), why, kept.failure().reason})};
  if (!*kept) return {};
  return {std::nullopt, fill("session file {} {}: kept as {}; starting afresh",
                             {path.string(), why, (*kept)->string()})};
}

Result<void> save_session(const std::filesystem::path& path, const SessionRecord& record) {
  std::error_code created;
  std::filesystem::create_directories(path.parent_path(), created);
  if (created)
    return Failure{fill("session save failed: cannot create {}", {path.parent_path().string()})};
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  if (const auto saved = replace_file(path, encode_session(record), temporary); !saved) {
    return Failure{fill("session save failed: {}: {}", {path.string(), saved.failure().reason})};
  }
  return {};
}

}  // namespace kelvo
