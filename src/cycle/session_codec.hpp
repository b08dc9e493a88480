#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/time.hpp"
#include "cycle/session.hpp"
#include "frame/frame_mac.hpp"

namespace kelvo {

// The session file's format; a file of another one is not read.
inline constexpr unsigned SESSION_FORMAT = 1;

// What the session file holds: the session, and whose it is: the owner, the shell id it sent
// from, a fingerprint of the link (never the token) and when it was saved.
struct SessionRecord {
  std::string owner;
  std::optional<std::string> shell_id;
  std::string link_fingerprint;
  WallTime saved{};
  Session session;

  bool operator==(const SessionRecord&) const = default;
};

// A MAC of a fixed label under the link's key, in hex: the same link always gives the same
// fingerprint, and the fingerprint gives away nothing of the token.
std::string link_fingerprint(const FrameKey& key);

// The file's text: one JSON object, pretty-printed, ending in a line feed.
std::string encode_session(const SessionRecord& record);

// The record in a file's text; nothing for a text that is not a whole, valid session of
// SESSION_FORMAT (damaged JSON, a missing or wrong-typed field, a value the shell never writes).
std::optional<SessionRecord> decode_session(std::string_view text);

}  // namespace kelvo
