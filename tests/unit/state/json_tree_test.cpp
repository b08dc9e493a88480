#include "state/json_tree.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kelvo {
namespace {

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(ParseJsonTree, KeepsRepeatedKeysInFileOrder) {
  const auto tree = parse_json_tree(R"({"k": 1, "j": [true, {}], "k": "two"})");
  ASSERT_TRUE(tree);
  const auto& members = std::get<JsonMembers>(tree->value);
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[0].key, "k");
  EXPECT_EQ(std::get<nlohmann::json>(members[0].value.value), 1);
  const auto& items = std::get<JsonArray>(members[1].value.value);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(std::get<nlohmann::json>(items[0].value), true);
  EXPECT_TRUE(std::get<JsonMembers>(items[1].value).empty());
  EXPECT_EQ(members[2].key, "k");
  EXPECT_EQ(std::get<nlohmann::json>(members[2].value.value), "two");
}

TEST(ParseJsonTree, RefusesTrailingTextAndDeepNesting) {
  EXPECT_TRUE(parse_json_tree(" 1 \n"));
  EXPECT_FALSE(parse_json_tree("1 2"));
  EXPECT_FALSE(parse_json_tree("{\"a\": 1} // note"));
  EXPECT_TRUE(parse_json_tree(nested(JSON_TREE_MAX_DEPTH)));
  EXPECT_FALSE(parse_json_tree(nested(JSON_TREE_MAX_DEPTH + 1)));
}

}  // namespace
}  // namespace kelvo
