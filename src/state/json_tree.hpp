#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvo {

struct JsonValue;
struct JsonMember;
using JsonArray = std::vector<JsonValue>;
// An object's members as written: in file order, repeated keys included.
using JsonMembers = std::vector<JsonMember>;

// A parsed JSON value whose objects keep every member, so the reader of a document decides
// where a repeated key is an error. Scalars are held as nlohmann values.
struct JsonValue {
  std::variant<nlohmann::json, JsonArray, JsonMembers> value;
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Arrays and objects nested deeper than this make a document unreadable.
inline constexpr std::size_t JSON_TREE_MAX_DEPTH = 64;

// One JSON document, with nothing but white space after it, in valid UTF-8. Anything else,
// including nesting past JSON_TREE_MAX_DEPTH, gives no value. Never throws on any text.
std::optional<JsonValue> parse_json_tree(std::string_view text);

}  // namespace kelvo
