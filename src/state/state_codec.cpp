#include "state/state_codec.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "common/strict_json.hpp"

namespace kelvo {

namespace {

using nlohmann::json;

constexpr std::array<std::string_view, 2> kStateFields = {"registry", "acted_seq"};
constexpr std::array<std::string_view, 3> kClassFields = {"count", "mean_secs",
                                                          "last_classified_ms"};

// The top-level object (depth 0) and the class objects (depth 2) may not repeat a key; in the
// registry (depth 1) a class named again replaces the earlier one. Whatever else sits at those
// depths follows the same rule.
OnDuplicateKey state_duplicate_policy(std::size_t depth) {
  return depth == 1 ? OnDuplicateKey::KeepLast : OnDuplicateKey::Fail;
}

// The fields of a record, each absent (nullptr) or its value: an object gives them by key,
// ignoring other keys; an array by position, with no more elements than fields.
template <std::size_t N>
std::optional<std::array<const json*, N>> record_fields(
    const json& record, const std::array<std::string_view, N>& names) {
  std::array<const json*, N> fields{};
  if (record.is_array()) {
    if (record.size() > N) return std::nullopt;
    for (std::size_t i = 0; i < record.size(); ++i) fields[i] = &record[i];
    return fields;
  }
  if (!record.is_object()) return std::nullopt;
  for (std::size_t i = 0; i < N; ++i) {
    const auto found = record.find(names[i]);
    if (found != record.end()) fields[i] = &*found;
  }
  return fields;
}

// Integer literals without a fraction or exponent and not below zero ("-0" is zero).
std::optional<std::uint64_t> as_u64(const json* value) {
  if (value == nullptr) return std::nullopt;
  if (value->is_number_unsigned()) return value->get<std::uint64_t>();
  if (value->is_number_integer() && value->get<std::int64_t>() == 0) return 0;
  return std::nullopt;
}

std::optional<double> as_number(const json* value) {
  if (value == nullptr || !value->is_number()) return std::nullopt;
  return value->get<double>();
}

std::optional<ClassStat> decode_class(const json& value) {
  const auto fields = record_fields(value, kClassFields);
  if (!fields) return std::nullopt;
  const auto count = as_u64((*fields)[0]);
  const auto mean_secs = as_number((*fields)[1]);
  const auto last_classified_ms = as_u64((*fields)[2]);
  if (!count || !mean_secs || !last_classified_ms) return std::nullopt;
  return ClassStat{*count, *mean_secs, *last_classified_ms};
}

std::optional<ClassRegistry> decode_registry(const json* value) {
  if (value == nullptr) return ClassRegistry{};
  if (!value->is_object()) return std::nullopt;
  ClassRegistry registry;
  for (const auto& [name, entry] : value->items()) {
    const auto stat = decode_class(entry);
    if (!stat) return std::nullopt;
    registry.emplace(name, *stat);
  }
  return registry;
}

using ActedSeq = std::optional<std::uint64_t>;

// Absent and null both mean no seq; no value at all means the field is unreadable.
std::optional<ActedSeq> decode_acted_seq(const json* value) {
  if (value == nullptr || value->is_null()) return ActedSeq{};
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
  const auto document = parse_strict_json(text, state_duplicate_policy);
  if (!document) return std::nullopt;
  const auto fields = record_fields(*document, kStateFields);
  if (!fields) return std::nullopt;
  auto registry = decode_registry((*fields)[0]);
  const auto acted_seq = decode_acted_seq((*fields)[1]);
  if (!registry || !acted_seq) return std::nullopt;
  return OwnerState{std::move(*registry), *acted_seq};
}

Result<std::string> serialize_state(const OwnerState& state) {
  nlohmann::ordered_json registry = nlohmann::ordered_json::object();
  for (const auto& [name, stat] : state.registry) registry[name] = encode_class(stat);
  nlohmann::ordered_json document = nlohmann::ordered_json::object();
  document["registry"] = std::move(registry);
  document["acted_seq"] =
      state.acted_seq ? nlohmann::ordered_json(*state.acted_seq) : nlohmann::ordered_json(nullptr);
  try {
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
  } catch (const nlohmann::ordered_json::exception& error) {
    return Failure{error.what()};
  }
}

}  // namespace kelvo
