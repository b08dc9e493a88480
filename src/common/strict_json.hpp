#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace kelvo {

// What the parser does when one object names a key a second time.
enum class OnDuplicateKey {
  Fail,      // the whole text is rejected
  KeepLast,  // the later value replaces the earlier one
  Poison,    // the key's value becomes a discarded value, which no typed reader accepts
};

// Chooses per object, from its nesting depth: 0 for a top-level object, 1 for an object directly
// inside the top-level value, and so on.
using DuplicateKeyPolicy = std::function<OnDuplicateKey(std::size_t depth)>;

// How deep every JSON text read from outside (command bodies, the digest, the state file) may nest
// arrays and objects. The parser keeps its own stack, so no depth endangers the reading itself;
// deeper input is refused so that later recursive walks over the tree stay shallow.
inline constexpr std::size_t kMaxJsonDepth = 256;

// Exactly one JSON value, white space around it allowed: no trailing text, valid UTF-8 in every
// string, at most kMaxJsonDepth nested arrays and objects. Integers keep their kind: a literal
// like 7 is number_unsigned, -1 is number_integer, 7.0 and 7e0 are number_float.
std::optional<nlohmann::json> parse_strict_json(std::string_view text,
                                                const DuplicateKeyPolicy& policy);

// Same, with a key given twice in any object failing the text.
std::optional<nlohmann::json> parse_strict_json(std::string_view text);

}  // namespace kelvo
