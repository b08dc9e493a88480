#include "common/strict_json.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "digest/digest.hpp"
#include "frame/shell_command.hpp"
#include "state/state_codec.hpp"

namespace kelvo {
namespace {

using nlohmann::json;

DuplicateKeyPolicy always(OnDuplicateKey action) {
  return [action](std::size_t) { return action; };
}

std::string nested_arrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(StrictJson, AcceptsOneValueWithWhiteSpaceAround) {
  const auto value = parse_strict_json(" \t\r\n{\"a\":[1,\"x\",null,true]}\n ");
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, json::parse(R"({"a":[1,"x",null,true]})"));
  EXPECT_EQ(parse_strict_json("\"caf\\u00e9\""), json("caf\xC3\xA9"));
}

TEST(StrictJson, RejectsMalformedText) {
  for (const std::string& bad : std::vector<std::string>{
           "", "  ", "{} x", "{}{}", "[1] ,", "[1,]", "{'a':1}", "nul", "/* c */ 1", "1e999",
           "\"\xFF\"",          // stray byte
           "\"\xC0\xAF\"",      // overlong form
           "\"\xED\xA0\x80\"",  // surrogate encoded in UTF-8
           "\"\\ud800\"",       // lone surrogate escape
           "{\"\xE2\x82\":1}",  // truncated sequence in a key
           "\"a\nb\""}) {       // raw control character
    EXPECT_EQ(parse_strict_json(bad), std::nullopt) << bad;
  }
}

TEST(StrictJson, IntegersKeepTheirKind) {
  EXPECT_TRUE(parse_strict_json("7")->is_number_unsigned());
  EXPECT_TRUE(parse_strict_json("18446744073709551615")->is_number_unsigned());
  for (const char* not_unsigned :
       {"-1", "-0", "7.0", "7e0", "1e2", "2.5", "18446744073709551616"}) {
    const auto value = parse_strict_json(not_unsigned);
    ASSERT_TRUE(value) << not_unsigned;
    EXPECT_FALSE(value->is_number_unsigned()) << not_unsigned;
  }
}

TEST(StrictJson, DuplicateKeyFailsAtAnyDepthByDefault) {
  for (const char* bad :
       {R"({"a":1,"a":1})", R"([{"a":1,"b":2,"a":3}])", R"({"x":{"y":{"a":1,"a":2}}})"}) {
    EXPECT_EQ(parse_strict_json(bad), std::nullopt) << bad;
  }
  // The same key in different objects is no repetition.
  for (const char* good :
       {R"([{"a":1},{"a":2}])", R"({"a":{"a":{"a":1}}})", R"({"a":{},"b":{"a":1}})"}) {
    EXPECT_TRUE(parse_strict_json(good)) << good;
  }
}

TEST(StrictJson, KeepLastTakesTheLaterValue) {
  const auto value =
      parse_strict_json(R"({"a":1,"b":2,"a":{"c":3}})", always(OnDuplicateKey::KeepLast));
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, json::parse(R"({"a":{"c":3},"b":2})"));
}

TEST(StrictJson, PoisonMarksOnlyTheRepeatedKey) {
  const auto value = parse_strict_json(R"({"a":1,"b":2,"a":[3],"a":4,"c":{"d":5,"d":6}})",
                                       always(OnDuplicateKey::Poison));
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->at("a").is_discarded());
  EXPECT_FALSE(value->at("a").is_null());
  EXPECT_EQ(value->at("b"), 2);
  EXPECT_TRUE(value->at("c").at("d").is_discarded());
}

TEST(StrictJson, PolicyIsAskedWithTheObjectDepth) {
  // Repeats allowed only in objects one level down, as in a map of named records.
  const DuplicateKeyPolicy map_level = [](std::size_t depth) {
    return depth == 1 ? OnDuplicateKey::KeepLast : OnDuplicateKey::Fail;
  };
  const auto value = parse_strict_json(R"({"r":{"x":{"n":1},"x":{"n":2}}})", map_level);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->at("r").at("x").at("n"), 2);
  EXPECT_TRUE(parse_strict_json(R"([{"x":1,"x":2}])", map_level));
  EXPECT_EQ(parse_strict_json(R"({"r":{},"r":{}})", map_level), std::nullopt);
  EXPECT_EQ(parse_strict_json(R"({"r":{"x":{"n":1,"n":2}}})", map_level), std::nullopt);
}

// Arrays and objects nest at most 256 deep.
constexpr std::size_t kDeepest = 256;

TEST(StrictJson, NestingIsBounded) {
  EXPECT_TRUE(parse_strict_json(nested_arrays(kDeepest)));
  EXPECT_EQ(parse_strict_json(nested_arrays(kDeepest + 1)), std::nullopt);
  EXPECT_EQ(parse_strict_json(std::string(1'000'000, '[')), std::nullopt);
  std::string objects;
  for (std::size_t i = 0; i <= kDeepest; ++i) objects += "{\"a\":";
  objects += "1" + std::string(kDeepest + 1, '}');
  EXPECT_EQ(parse_strict_json(objects), std::nullopt);
}

// Each reader of outside JSON keeps what it reads when the document is nested exactly the limit
// deep, and treats one level more, or a hostile depth, as malformed under its own rule.
TEST(StrictJson, EveryReaderHasTheSameNestingLimit) {
  struct Reader {
    std::string name;
    std::size_t outer_depth;  // the containers the document opens around the nested value
    std::function<bool(const std::string& nested)> reads;
  };
  const std::vector<Reader> readers = {
      {"command body", 1,
       [](const std::string& nested) {
         return parse_shell_command("delay", R"({"minutes":30,"x":)" + nested + "}") ==
                ShellCommand{PauseCommand{30}};
       }},
      {"digest", 4,
       [](const std::string& nested) {
         const auto digest = decode_digest(
             R"({"turns":[{"entries":[{"Agent":{"text":"hi","seq":7}},)" + nested + "]}]}");
         return digest && find_agent_text(*digest, 7) == "hi";
       }},
      {"state file", 1,
       [](const std::string& nested) {
         const auto state = parse_state(
             R"({"registry":{"a":{"count":1,"mean_secs":2,"last_classified_ms":3}},"x":)" + nested +
             "}");
         return state && state->registry.size() == 1;
       }},
  };
  for (const Reader& reader : readers) {
    SCOPED_TRACE(reader.name);
    const std::size_t fits = kDeepest - reader.outer_depth;
    EXPECT_TRUE(reader.reads(nested_arrays(fits)));
    EXPECT_FALSE(reader.reads(nested_arrays(fits + 1)));
    EXPECT_FALSE(reader.reads(nested_arrays(1'000'000)));
  }
}

}  // namespace
}  // namespace kelvo
