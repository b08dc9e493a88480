#include "digest/digest.hpp"

#include <nlohmann/json.hpp>
#include <utility>

#include "common/strict_json.hpp"

namespace kelvo {

namespace {

using nlohmann::json;

// A repeated key reads as a value of no JSON type, so a record naming it twice fails its type
// check: the document for "turns" and "entries", the entry for anything inside an entry. Keys
// that no record lists stay ignored, repeated or not.
std::optional<json> parse_digest_json(std::string_view text) {
  return parse_strict_json(text, [](std::size_t) { return OnDuplicateKey::Poison; });
}

std::optional<AgentEntry> decode_agent(const json& record) {
  if (!record.is_object()) return std::nullopt;
  const auto text = record.find("text");
  if (text == record.end() || !text->is_string()) return std::nullopt;
  AgentEntry entry{text->get<std::string>(), std::nullopt};
  const auto seq = record.find("seq");
  if (seq != record.end() && !seq->is_null()) {
    // Only an integer literal that fits 64 bits unsigned: 7, not 7.0, 7e0 or -0.
    if (!seq->is_number_unsigned()) return std::nullopt;
    entry.seq = seq->get<std::uint64_t>();
  }
  return entry;
}

// Only {"Agent": record} with a well-formed record is an agent entry.
std::optional<AgentEntry> decode_entry(const json& value) {
  if (!value.is_object() || value.size() != 1) return std::nullopt;
  const auto variant = value.begin();
  if (variant.key() != "Agent") return std::nullopt;
  return decode_agent(variant.value());
}

// A listed array member: missing reads as empty, present must be an array.
std::optional<json::array_t> take_array(json& object, const char* key) {
  const auto member = object.find(key);
  if (member == object.end()) return json::array_t{};
  if (!member->is_array()) return std::nullopt;
  return std::move(member->get_ref<json::array_t&>());
}

std::optional<Turn> decode_turn(json& value) {
  if (!value.is_object()) return std::nullopt;
  auto entries = take_array(value, "entries");
  if (!entries) return std::nullopt;
  Turn turn;
  for (const json& entry : *entries) {
    if (auto agent = decode_entry(entry)) turn.agent_entries.push_back(std::move(*agent));
  }
  return turn;
}

}  // namespace

std::optional<Digest> decode_digest(std::string_view text) {
  std::optional<json> document = parse_digest_json(text);
  if (!document) return std::nullopt;
  if (!document->is_object()) return std::nullopt;
  auto turns = take_array(*document, "turns");
  if (!turns) return std::nullopt;
  Digest digest;
  digest.turns.reserve(turns->size());
  for (json& value : *turns) {
    auto turn = decode_turn(value);
    if (!turn) return std::nullopt;
    digest.turns.push_back(std::move(*turn));
  }
  return digest;
}

std::optional<std::string> find_agent_text(const Digest& digest, std::uint64_t seq) {
  for (const Turn& turn : digest.turns) {
    for (const AgentEntry& agent : turn.agent_entries) {
      if (agent.seq == seq) return agent.text;
    }
  }
  return std::nullopt;
}

}  // namespace kelvo
