#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// One agent message of the host's digest of recent turns.
struct AgentEntry {
  std::string text;
  std::optional<std::uint64_t> seq;  // the io frame's seq; absent never matches a lookup
};

// A turn's agent entries, in their order. Every other entry (a boundary, an entry of another
// kind, a malformed one) is read and passed over: nothing the shell does depends on it.
struct Turn {
  std::vector<AgentEntry> agent_entries;
};

struct Digest {
  std::vector<Turn> turns;
};

// Decodes the digest command's output. Anything wrong outside an entry (not one strict JSON value,
// a wrong type, "turns" or "entries" given twice) fails the whole document; a malformed entry is
// only passed over. An agent entry is {"Agent": {"text": <string>, "seq": <u64, null or absent>}}
// and nothing else (other keys of the record are ignored); a record whose text or seq is given
// twice or with another type is no agent entry. Like every reader of the host's output it gives
// nothing for what it cannot read, and no reason: nobody is told.
std::optional<Digest> decode_digest(std::string_view text);

// The text of the first agent entry, in turn and entry order, whose seq equals `seq`.
std::optional<std::string> find_agent_text(const Digest& digest, std::uint64_t seq);

}  // namespace kelvo
