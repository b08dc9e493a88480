#include "common/strict_json.hpp"

#include <string>
#include <utility>
#include <vector>

namespace kelvo {

namespace {

using nlohmann::json;

// Builds the tree from parser events, tracking the open containers so that each object can be
// checked for repeated keys and the nesting kept within bounds.
class StrictTreeBuilder {
 public:
  explicit StrictTreeBuilder(const DuplicateKeyPolicy& policy) : policy_(policy) {}

  bool null() { return add(nullptr); }
  bool boolean(bool value) { return add(value); }
  bool number_integer(json::number_integer_t value) { return add(value); }
  bool number_unsigned(json::number_unsigned_t value) { return add(value); }
  bool number_float(json::number_float_t value, const json::string_t&) { return add(value); }
  bool string(json::string_t& value) { return add(std::move(value)); }
  // JSON text has no binary values; only binary formats produce this event.
  bool binary(json::binary_t&) { return false; }

  bool start_object(std::size_t) { return open(json::object()); }
  bool start_array(std::size_t) { return open(json::array()); }
  bool end_array() {
    open_.pop_back();
    return true;
  }
  bool key(json::string_t& name);
  bool end_object();

  bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

  json take_root() { return std::move(root_); }

 private:
  struct OpenContainer {
    json* value;
    std::vector<std::string> poisoned_keys;
  };

  json* place(json value);
  bool add(json value) {
    place(std::move(value));
    return true;
  }
  bool open(json container);

  const DuplicateKeyPolicy& policy_;
  json root_;
  std::vector<OpenContainer> open_;
  json* member_slot_ = nullptr;  // where the value after the latest key goes
};

// Pointers on the stack stay valid: an array only grows after its open child is closed, and
// object members live in map nodes that never move.
json* StrictTreeBuilder::place(json value) {
  if (open_.empty()) {
    root_ = std::move(value);
    return &root_;
  }
  json& parent = *open_.back().value;
  if (parent.is_array()) {
    parent.push_back(std::move(value));
    return &parent.back();
  }
  *member_slot_ = std::move(value);
  return member_slot_;
}

bool StrictTreeBuilder::open(json container) {
  if (open_.size() >= kMaxJsonDepth) return false;
  json* slot = place(std::move(container));
  open_.push_back({slot, {}});
  return true;
}

bool StrictTreeBuilder::key(json::string_t& name) {
  OpenContainer& object = open_.back();
  if (object.value->contains(name)) {
    switch (policy_(open_.size() - 1)) {
      case OnDuplicateKey::Fail:
        return false;
      case OnDuplicateKey::KeepLast:
        break;
      case OnDuplicateKey::Poison:
        object.poisoned_keys.push_back(name);
        break;
    }
  }
  member_slot_ = &(*object.value)[name];
  return true;
}

bool StrictTreeBuilder::end_object() {
  OpenContainer& object = open_.back();
  for (const std::string& name : object.poisoned_keys) {
    (*object.value)[name] = json(json::value_t::discarded);
  }
  open_.pop_back();
  return true;
}

}  // namespace

std::optional<json> parse_strict_json(std::string_view text, const DuplicateKeyPolicy& policy) {
  StrictTreeBuilder builder(policy);
  const char* begin = text.data();
  if (!json::sax_parse(begin, begin + text.size(), &builder, json::input_format_t::json,
                       /*strict=*/true)) {
    return std::nullopt;
  }
  return builder.take_root();
}

std::optional<json> parse_strict_json(std::string_view text) {
  return parse_strict_json(text, [](std::size_t) { return OnDuplicateKey::Fail; });
}

}  // namespace kelvo
