#include "state/state_codec.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace kelvo {
namespace {

constexpr const char* kOneClass =
    "{\n"
    "  \"registry\": {\n"
    "    \"deploy_wait\": {\n"
    "      \"count\": 3,\n"
    "      \"mean_secs\": 412.5,\n"
    "      \"last_classified_ms\": 1765100000000\n"
    "    }\n"
    "  },\n"
    "  \"acted_seq\": null\n"
    "}";

std::string serialized(const OwnerState& state) { return *serialize_state(state); }

TEST(SerializeState, WritesTheEmptyStateAsFourLines) {
  EXPECT_EQ(serialized(OwnerState{}), "{\n  \"registry\": {},\n  \"acted_seq\": null\n}");
}

TEST(SerializeState, WritesAClassWithItsKeysInFieldOrder) {
  OwnerState state;
  state.registry["deploy_wait"] = {3, 412.5, 1765100000000};
  EXPECT_EQ(serialized(state), kOneClass);
}

TEST(SerializeState, WritesWholeMeansAsDoublesAndClassesByName) {
  OwnerState state;
  state.registry["b"] = {1, 300.0, 2};
  state.registry["a"] = {2, 5.0, 1};
  state.acted_seq = 17;
  const std::string text = serialized(state);
  EXPECT_EQ(text,
            "{\n  \"registry\": {\n"
            "    \"a\": {\n      \"count\": 2,\n      \"mean_secs\": 5.0,\n"
            "      \"last_classified_ms\": 1\n    },\n"
            "    \"b\": {\n      \"count\": 1,\n      \"mean_secs\": 300.0,\n"
            "      \"last_classified_ms\": 2\n    }\n"
            "  },\n  \"acted_seq\": 17\n}");
  EXPECT_EQ(parse_state(text), state);
}

TEST(SerializeState, RefusesAClassNameThatIsNotUtf8) {
  // Loading never yields such a name (it rejects invalid UTF-8); only a caller could.
  OwnerState state;
  state.registry["bad\xff"] = {1, 1.0, 1};
  const auto result = serialize_state(state);
  ASSERT_FALSE(result);
  EXPECT_NE(result.failure().reason.find("UTF-8"), std::string::npos);
}

TEST(ParseState, ReadsTheWrittenForm) {
  const auto state = parse_state(kOneClass);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->registry.at("deploy_wait"), (ClassStat{3, 412.5, 1765100000000}));
  EXPECT_FALSE(state->acted_seq);
}

struct Accepted {
  const char* text;
  OwnerState state;
};

class ParseStateAccepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(ParseStateAccepts, Text) { EXPECT_EQ(parse_state(GetParam().text), GetParam().state); }

const ClassStat kStat{2, 7.0, 9};

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseStateAccepts,
    ::testing::Values(
        Accepted{"{}", {}}, Accepted{" {\"acted_seq\": null} \n", {}},
        Accepted{"{\"x\": {\"y\": [2], \"y\": 3}, \"acted_seq\": 17}", {{}, 17}},
        Accepted{"{\"acted_seq\": 4, \"registry\": {\"c\": {\"last_classified_ms\": 9, "
                 "\"x\": 0, \"mean_secs\": 7, \"count\": 2}}}",
                 {{{"c", kStat}}, 4}},
        Accepted{"{\"registry\": {\"c\": {\"count\": 2, \"mean_secs\": 7.0, "
                 "\"last_classified_ms\": -0}}}",
                 {{{"c", {2, 7.0, 0}}}, {}}},
        // A class named twice: the later entry wins, and replaces the earlier one unread.
        Accepted{"{\"registry\": {\"c\": [1, 1, 1], \"c\": [2, 7, 9]}}", {{{"c", kStat}}, {}}},
        Accepted{"{\"registry\": {\"c\": [1], \"c\": [2, 7, 9]}}", {{{"c", kStat}}, {}}},
        // Arrays in field order; missing trailing top-level elements count as absent keys.
        Accepted{"[{\"c\": [2, 7.0, 9]}, 5]", {{{"c", kStat}}, 5}},
        Accepted{"[{\"c\": [2, 7.0, 9]}]", {{{"c", kStat}}, {}}}, Accepted{"[{}, null]", {}},
        Accepted{"[]", {}}));

class ParseStateRejects : public ::testing::TestWithParam<const char*> {};

TEST_P(ParseStateRejects, Text) { EXPECT_FALSE(parse_state(GetParam())); }

INSTANTIATE_TEST_SUITE_P(
    Faults, ParseStateRejects,
    ::testing::Values(
        "", "   ", "null", "17", "\"state\"", "{", "{} {}", "{}x", "{\"registry\": {}},",
        // missing class key, wrong types
        "{\"registry\": {\"c\": {\"count\": 2, \"mean_secs\": 7}}}",
        "{\"registry\": {\"c\": {\"count\": 7.0, \"mean_secs\": 7, \"last_classified_ms\": 9}}}",
        "{\"registry\": {\"c\": {\"count\": -1, \"mean_secs\": 7, \"last_classified_ms\": 9}}}",
        "{\"registry\": {\"c\": {\"count\": 2.5, \"mean_secs\": 7, \"last_classified_ms\": 9}}}",
        "{\"registry\": {\"c\": {\"count\": 1e2, \"mean_secs\": 7, \"last_classified_ms\": 9}}}",
        "{\"registry\": {\"c\": {\"count\": 2, \"mean_secs\": \"7\", \"last_classified_ms\": 9}}}",
        "{\"registry\": {\"c\": {\"count\": 2, \"mean_secs\": 7, "
        "\"last_classified_ms\": 18446744073709551616}}}",
        "{\"registry\": {\"c\": {\"count\": 2, \"mean_secs\": 1e999, \"last_classified_ms\": 9}}}",
        "{\"registry\": {\"c\": null}}", "{\"registry\": null}", "{\"registry\": []}",
        "{\"acted_seq\": -3}", "{\"acted_seq\": 1.5}", "{\"acted_seq\": \"1\"}",
        // one bad class loses all
        "{\"registry\": {\"a\": [1, 1, 1], \"b\": [1, 1]}}",
        // duplicate keys at the top and in a class
        "{\"registry\": {}, \"registry\": {}}", "{\"x\": 1, \"x\": 1}",
        "[{\"c\": {\"count\": 1, \"count\": 1, \"mean_secs\": 7, \"last_classified_ms\": 9}}]",
        "{\"registry\": {\"c\": {\"count\": 2, \"count\": 2, \"mean_secs\": 7, "
        "\"last_classified_ms\": 9}}}",
        // array lengths
        "[{}, null, 1]", "{\"registry\": {\"c\": [2, 7]}}", "{\"registry\": {\"c\": [2, 7, 9, 1]}}",
        // invalid UTF-8, inside a string and outside
        "{\"registry\": {\"c\xff\": [2, 7, 9]}}", "\xef\xbb{}", "{\"x\": \"\\ud800\"}"));

TEST(ParseState, SurvivesDeepNesting) {
  const std::string deep(100000, '[');
  EXPECT_FALSE(parse_state(deep));
  EXPECT_FALSE(parse_state("{\"x\": " + deep + std::string(100000, ']') + "}"));
}

}  // namespace
}  // namespace kelvo
