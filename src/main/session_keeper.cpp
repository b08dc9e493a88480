#include "main/session_keeper.hpp"

#include <utility>

#include "main/session_file.hpp"

namespace kelvo {

SessionKeeper::SessionKeeper(const Run& run, std::optional<Session> restored)
    : run_(run), written_(std::move(restored)) {}

std::optional<std::string> SessionKeeper::keep(const Session& session, WallTime now) {
  if (!run_.session_path || written_ == session) return std::nullopt;
  const auto saved = save_session(*run_.session_path, session_record(run_, session, now));
  if (saved) {
    written_ = session;
    failure_lines_ = {};
    return std::nullopt;
  }
  if (!take_turn(failure_lines_, now, SESSION_FAILURE_REPORT_EVERY)) return std::nullopt;
  return saved.failure().reason;
}

}  // namespace kelvo
