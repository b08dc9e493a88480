#include "state/json_tree.hpp"

#include <cstdint>
#include <utility>

#include "common/utf8.hpp"

namespace kelvo {

namespace {

// Builds a JsonValue from nlohmann's SAX events; the open containers live on a stack.
class TreeBuilder {
 public:
  bool null() { return put({nlohmann::json(nullptr)}); }
  bool boolean(bool value) { return put({nlohmann::json(value)}); }
  bool number_integer(std::int64_t value) { return put({nlohmann::json(value)}); }
  bool number_unsigned(std::uint64_t value) { return put({nlohmann::json(value)}); }
  bool number_float(double value, const std::string& /*literal*/) {
    return put({nlohmann::json(value)});
  }
  bool string(std::string& value) { return put({nlohmann::json(std::move(value))}); }
  bool binary(nlohmann::json::binary_t& /*value*/) { return false; }  // not in JSON text

  bool start_object(std::size_t /*size*/) { return open({JsonMembers{}}); }
  bool key(std::string& key) {
    pending_key_ = std::move(key);
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t /*size*/) { return open({JsonArray{}}); }
  bool end_array() { return close(); }

  bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                   const nlohmann::detail::exception& /*error*/) {
    return false;
  }

  std::optional<JsonValue> take_root() { return std::move(root_); }

 private:
  // A container being filled and the key it will go under when its parent is an object.
  struct Open {
    std::string key;
    JsonValue value;
  };

  bool open(JsonValue container) {
    if (open_.size() >= JSON_TREE_MAX_DEPTH) return false;
    open_.push_back({std::move(pending_key_), std::move(container)});
    return true;
  }

  bool close() {
    Open done = std::move(open_.back());
    open_.pop_back();
    pending_key_ = std::move(done.key);
    return put(std::move(done.value));
  }

  bool put(JsonValue value) {
    if (open_.empty()) {
      root_ = std::move(value);
    } else if (auto* items = std::get_if<JsonArray>(&open_.back().value.value)) {
      items->push_back(std::move(value));
    } else {
      std::get<JsonMembers>(open_.back().value.value)
          .push_back({std::move(pending_key_), std::move(value)});
    }
    return true;
  }

  std::vector<Open> open_;
  std::string pending_key_;
  std::optional<JsonValue> root_;
};

}  // namespace

std::optional<JsonValue> parse_json_tree(std::string_view text) {
  if (!is_valid_utf8(text)) return std::nullopt;
  TreeBuilder builder;
  const bool parsed =
      nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json,
                                /*strict=*/true, /*ignore_comments=*/false);
  if (!parsed) return std::nullopt;
  return builder.take_root();
}

}  // namespace kelvo
