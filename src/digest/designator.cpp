#include "digest/designator.hpp"

#include <algorithm>

#include "common/text.hpp"

namespace kelvo {

namespace {

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Designator> parse_designator(std::string_view text) {
  const std::size_t dash = text.rfind('-');
  if (dash == std::string_view::npos || dash == 0) return std::nullopt;
  const std::string_view sub_text = text.substr(dash + 1);
  // parse_u32 would take a leading "+"; a sub is digits only.
  if (sub_text.empty() || !std::all_of(sub_text.begin(), sub_text.end(), is_ascii_digit)) {
    return std::nullopt;
  }
  const auto sub = parse_u32(sub_text);
  if (!sub) return std::nullopt;
  return Designator{std::string(text.substr(0, dash)), *sub};
}

bool is_class_name(std::string_view name) {
  if (name.empty() || name.size() > 32) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || is_ascii_digit(c) || c == '_';
  });
}

}  // namespace kelvo
