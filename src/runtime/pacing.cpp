#include "runtime/pacing.hpp"

#include <array>
#include <utility>

namespace kelvo {

namespace {

constexpr std::array<std::pair<Pacing, std::string_view>, 7> kPacingNames = {{
    {Pacing::Busy, "busy"},
    {Pacing::Nudging, "nudging"},
    {Pacing::Waiting, "waiting"},
    {Pacing::Held, "held"},
    {Pacing::Paused, "paused"},
    {Pacing::Blocked, "blocked"},
    {Pacing::Unresponsive, "unresponsive"},
}};

}  // namespace

std::string_view pacing_name(Pacing pacing) {
  for (const auto& [value, name] : kPacingNames) {
    if (value == pacing) return name;
  }
  return "busy";
}

std::optional<Pacing> pacing_named(std::string_view name) {
  for (const auto& [value, known] : kPacingNames) {
    if (known == name) return value;
  }
  return std::nullopt;
}

}  // namespace kelvo
