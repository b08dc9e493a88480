#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::sim {

// One message the agent received through send.
struct InboxMessage {
  std::uint64_t ts = 0;  // ms since the epoch
  std::optional<std::string> from;
  std::vector<std::string> flags;
  std::string text;
};

// {"ts":…,"from":…|null,"flags":[…],"text":…} on one line, without the LF.
std::string inbox_line(const InboxMessage& message);

// Throws nlohmann::json::exception when the line is not what inbox_line writes.
InboxMessage inbox_message_from(std::string_view line);

// A header line (local time, sender, flags), the text, then an empty line.
std::string format_for_person(const InboxMessage& message);

}  // namespace kelvo::sim
