#pragma once

#include <optional>
#include <string>

#include "common/report_throttle.hpp"
#include "cycle/session.hpp"
#include "main/run_setup.hpp"

namespace kelvo {

// A failing save is reported at most this often.
inline constexpr Millis SESSION_FAILURE_REPORT_EVERY{600'000};

// Keeps the session file in step with the session: it is written only when the session differs
// from what was written last, so a resting shell writes nothing. A run without a session file
// (no state directory or no owner) keeps nothing.
class SessionKeeper {
 public:
  // `restored`: the session the file already holds, when the run began from it.
  SessionKeeper(const Run& run, std::optional<Session> restored);

  // Gives the line to report when the write failed, at most one every 10 minutes while failures
  // go on; a failed write is tried again at the next call.
  std::optional<std::string> keep(const Session& session, WallTime now);

 private:
  const Run& run_;
  std::optional<Session> written_;
  ReportThrottle failure_lines_;
};

}  // namespace kelvo
