#include "state/state_codec.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "state/json_tree.hpp"

namespace kelvo {

namespace {

constexpr std::array<std::string_view, 2> kStateFields = {"registry", "acted_seq"};
constexpr std::array<std::string_view, 3> kClassFields = {"count", "mean_secs",
                                                          "last_classified_ms"};

// The fields of a record, each absent (nullptr) or its value. An object gives them by key, with
// no key twice and unknown keys skipped; an array by position, with no more elements than fields.
template <std::size_t N>
std::optional<std::array<const JsonValue*, N>> record_fields(
    const JsonValue& record, const std::array<std::string_view, N>& names) {
  std::array<const JsonValue*, N> fields{};
  if (const auto* items = std::get_if<JsonArray>(&record.value)) {
    if (items->size() > N) return std::nullopt;
    for (std::size_t i = 0; i < items->size(); ++i) fields[i] = &(*items)[i];
    return fields;
  }
  const auto* members = std::get_if<JsonMembers>(&record.value);
  if (members == nullptr) return std::nullopt;
  std::set<std::string_view> seen;
  for (const JsonMember& member : *members) {
    if (!seen.insert(member.key).second) return std::nullopt;
    for (std::size_t i = 0; i < N; ++i) {
      if (member.key == names[i]) fields[i] = &member.value;
    }
  }
  return fields;
}

const nlohmann::json* scalar(const JsonValue* value) {
  return value == nullptr ? nullptr : std::get_if<nlohmann::json>(&value->value);
}

// Integer literals without a fraction or exponent and not below zero ("-0" is zero).
std::optional<std::uint64_t> as_u64(const JsonValue* value) {
  const nlohmann::json* number = scalar(value);
  if (number == nullptr) return std::nullopt;
  if (number->is_number_unsigned()) return number->get<std::uint64_t>();
  if (number->is_number_integer() && number->get<std::int64_t>() == 0) return 0;
  return std::nullopt;
}

std::optional<double> as_number(const JsonValue* value) {
  const nlohmann::json* number = scalar(value);
  if (number == nullptr || !number->is_number()) return std::nullopt;
  return number->get<double>();
}

std::optional<ClassStat> decode_class(const JsonValue& value) {
  const auto fields = record_fields(value, kClassFields);
  if (!fields) return std::nullopt;
  const auto count = as_u64((*fields)[0]);
  const auto mean_secs = as_number((*fields)[1]);
  const auto last_classified_ms = as_u64((*fields)[2]);
  if (!count || !mean_secs || !last_classified_ms) return std::nullopt;
  return ClassStat{*count, *mean_secs, *last_classified_ms};
}

std::optional<ClassRegistry> decode_registry(const JsonValue* value) {
  if (value == nullptr) return ClassRegistry{};
  const auto* members = std::get_if<JsonMembers>(&value->value);
  if (members == nullptr) return std::nullopt;
  ClassRegistry registry;
  for (const JsonMember& member : *members) {
    const auto stat = decode_class(member.value);
    if (!stat) return std::nullopt;
    registry[member.key] = *stat;
  }
  return registry;
}

using ActedSeq = std::optional<std::uint64_t>;

// Absent and null both mean no seq; no value at all means the field is unreadable.
std::optional<ActedSeq> decode_acted_seq(const JsonValue* value) {
  const nlohmann::json* seq = scalar(value);
  if (value == nullptr || (seq != nullptr && seq->is_null())) return ActedSeq{};
  if (const auto number = as_u64(value)) return ActedSeq{*number};
  return std::nullopt;
}

nlohmann::ordered_json encode_class(const ClassStat& stat) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  object["count"] = stat.count;
  object["mean_secs"] = stat.mean_secs;
  object["last_classified_ms"] = stat.last_classified_ms;
  return object;
}

}  // namespace

std::optional<OwnerState> parse_state(std::string_view text) {
  const auto tree = parse_json_tree(text);
  if (!tree) return std::nullopt;
  const auto fields = record_fields(*tree, kStateFields);
  if (!fields) return std::nullopt;
  auto registry = decode_registry((*fields)[0]);
  const auto acted_seq = decode_acted_seq((*fields)[1]);
  if (!registry || !acted_seq) return std::nullopt;
  return OwnerState{std::move(*registry), *acted_seq};
}

std::variant<std::string, SerializeError> serialize_state(const OwnerState& state) {
  nlohmann::ordered_json registry = nlohmann::ordered_json::object();
  for (const auto& [name, stat] : state.registry) registry[name] = encode_class(stat);
  nlohmann::ordered_json document = nlohmann::ordered_json::object();
  document["registry"] = std::move(registry);
  document["acted_seq"] =
      state.acted_seq ? nlohmann::ordered_json(*state.acted_seq) : nlohmann::ordered_json(nullptr);
  try {
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
  } catch (const nlohmann::ordered_json::exception& error) {
    return SerializeError{error.what()};
  }
}

}  // namespace kelvo
