#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

// A reference to one checkpoint of a stretch, written <id>-<sub> (abc234-2).
struct Designator {
  std::string id;
  std::uint32_t sub = 0;

  bool operator==(const Designator&) const = default;
};

// Splits at the last "-": a non-empty id (further dashes allowed) and a digits-only sub that
// fits 32 bits. Nothing is trimmed.
std::optional<Designator> parse_designator(std::string_view text);

// 1 to 32 bytes, each a-z, 0-9 or _.
bool is_class_name(std::string_view name);

}  // namespace kelvo
