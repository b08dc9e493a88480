#include "support/shell_state.hpp"

#include <nlohmann/json.hpp>

#include "support/shell_script.hpp"

namespace kelvo::testing {

namespace {

bool has_exactly(const nlohmann::json& object, std::initializer_list<const char*> keys) {
  if (!object.is_object() || object.size() != keys.size()) return false;
  for (const char* key : keys) {
    if (!object.contains(key)) return false;
  }
  return true;
}

}  // namespace

std::optional<SavedState> read_state(const ShellSession& session) {
  const nlohmann::json value =
      nlohmann::json::parse(read_file(session.state_file()), nullptr, false);
  if (!has_exactly(value, {"registry", "acted_seq"}) || !value["registry"].is_object()) {
    return std::nullopt;
  }
  SavedState state;
  const nlohmann::json& acted = value["acted_seq"];
  if (acted.is_number_unsigned()) {
    state.acted_seq = acted.get<std::uint64_t>();
  } else if (!acted.is_null()) {
    return std::nullopt;
  }
  for (const auto& [name, stat] : value["registry"].items()) {
    if (!has_exactly(stat, {"count", "mean_secs", "last_classified_ms"}) ||
        !stat["count"].is_number_unsigned() || !stat["mean_secs"].is_number() ||
        !stat["last_classified_ms"].is_number_unsigned()) {
      return std::nullopt;
    }
    state.registry[name] = {stat["count"].get<std::uint64_t>(), stat["mean_secs"].get<double>(),
                            stat["last_classified_ms"].get<std::uint64_t>()};
  }
  return state;
}

}  // namespace kelvo::testing
