#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.hpp"

namespace kelvo {

// One agent message of the host's digest of recent turns.
struct AgentEntry {
  std::string text;
  std::optional<std::uint64_t> seq;  // the io frame's seq; absent never matches a lookup
};

struct BoundaryEntry {
  std::string kind;
  std::string ts;  // not interpreted; empty when missing
};

// Any entry that is not exactly {"Agent": record} or {"Boundary": record}; kept as it came.
struct OtherEntry {
  nlohmann::json value;
};

using Entry = std::variant<AgentEntry, BoundaryEntry, OtherEntry>;

struct Turn {
  std::vector<Entry> entries;
};

struct Digest {
  std::vector<Turn> turns;
};

// Decodes the digest command's output. Anything wrong outside an entry (not one strict JSON value,
// a wrong type, "turns" or "entries" given twice) fails the whole document; a malformed entry
// becomes an OtherEntry instead. The failure's reason is for diagnosis only, never shown.
Result<Digest> decode_digest(std::string_view text);

// The text of the first agent entry, in turn and entry order, whose seq equals `seq`.
std::optional<std::string> find_agent_text(const Digest& digest, std::uint64_t seq);

}  // namespace kelvo
