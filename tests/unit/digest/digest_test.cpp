#include "digest/digest.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

// A compact picture of a decoded digest: each turn in brackets, its agent entries as A:text#seq
// (# - without seq).
std::string shape(const Digest& digest) {
  std::string out;
  for (const Turn& turn : digest.turns) {
    std::string entries;
    for (const AgentEntry& agent : turn.agent_entries) {
      if (!entries.empty()) entries += ' ';
      entries += "A:" + agent.text + "#" + (agent.seq ? std::to_string(*agent.seq) : "-");
    }
    out += "[" + entries + "]";
  }
  return out;
}

std::string one_entry(const std::string& entry) {
  return R"({"turns":[{"entries":[)" + entry + "]}]}";
}

Digest decoded(const std::string& text) {
  auto result = decode_digest(text);
  if (!result) {
    ADD_FAILURE() << "decode failed: " << text;
    return {};
  }
  return std::move(*result);
}

struct ShapeCase {
  std::string text;
  std::string shape;
};

TEST(DecodeDigest, DocumentAndTurnLevels) {
  const std::vector<ShapeCase> cases = {
      {"{}", ""},
      {" \n{\"turns\":[]}\r\n\t", ""},
      {R"({"turns":[{}]})", "[]"},
      {R"({"turns":[{"entries":[]},{"entries":[{"Agent":{"text":"hi","seq":7}}]}]})", "[][A:hi#7]"},
      {R"({"v":2,"turns":[{"id":"t1","entries":[],"x":null}],"x":{}})", "[]"},
      // Keys no record lists may repeat freely.
      {R"({"x":1,"x":2,"turns":[{"y":1,"y":2}]})", "[]"},
  };
  for (const ShapeCase& c : cases) EXPECT_EQ(shape(decoded(c.text)), c.shape) << c.text;
}

TEST(DecodeDigest, EntryRecords) {
  const std::vector<ShapeCase> cases = {
      {R"({"Agent":{"text":"hi","seq":7}})", "[A:hi#7]"},
      {R"({"Agent":{"seq":0,"text":""}})", "[A:#0]"},
      {R"({"Agent":{"text":"a","seq":18446744073709551615}})", "[A:a#18446744073709551615]"},
      {R"({"Agent":{"text":"a"}})", "[A:a#-]"},
      {R"({"Agent":{"text":"a","seq":null}})", "[A:a#-]"},
      {R"({"Agent":{"text":"a","seq":3,"extra":1,"extra":2}})", "[A:a#3]"},
      {R"({"Agent":{"text":"caf\u00e9 \"q\""}})", "[A:caf\xC3\xA9 \"q\"#-]"},
  };
  for (const ShapeCase& c : cases) {
    EXPECT_EQ(shape(decoded(one_entry(c.text))), c.shape) << c.text;
  }
}

// Every entry but a well-formed agent one is passed over: it neither fails the document nor hides
// the agent entry after it, and its own seq is never found.
TEST(DecodeDigest, OtherAndMalformedEntriesArePassedOver) {
  for (const std::string entry : {
           R"({"Agent":{"text":"a","seq":-1}})",
           R"({"Agent":{"text":"a","seq":-0}})",
           R"({"Agent":{"text":"a","seq":2.5}})",
           R"({"Agent":{"text":"a","seq":7.0}})",
           R"({"Agent":{"text":"a","seq":1e2}})",
           R"({"Agent":{"text":"a","seq":18446744073709551616}})",
           R"({"Agent":{"text":"a","seq":"7"}})",
           R"({"Agent":{"text":"a","seq":true}})",
           R"({"Agent":{"seq":3}})",
           R"({"Agent":{"text":5,"seq":3}})",
           R"({"Agent":{"text":null}})",
           R"({"Agent":{"text":"a","seq":3},"extra":1})",
           R"({"agent":{"text":"a","seq":3}})",
           R"({"Agent":"a"})",
           R"({"Agent":["a",3]})",
           R"({"Agent":null})",
           R"({"Boundary":{"kind":"x"}})",
           R"({"Boundary":{"kind":"restart","ts":"2024-05-01T10:00:00Z","n":1,"seq":3}})",
           R"({"Boundary":{"ts":"t"}})",
           R"({"Boundary":{"kind":"x","ts":5}})",
           R"({"Boundary":{"kind":"x","ts":null}})",
           R"({"Boundary":{"kind":1}})",
           R"({})",
           R"([])",
           R"("Agent")",
           R"(null)",
           R"(3)",
           // Repeated keys inside an entry spoil only that entry.
           R"({"Agent":{"text":"a","text":"b"}})",
           R"({"Agent":{"text":"a","seq":1,"seq":1}})",
           R"({"Agent":{"text":"a"},"Agent":{"text":"a"}})",
           R"({"Boundary":{"kind":"x","ts":"t","ts":"t"}})",
           R"({"Other":{"deep":[{"k":1,"k":2}]}})",
       }) {
    EXPECT_EQ(shape(decoded(one_entry(entry))), "[]") << entry;
    const Digest digest = decoded(one_entry(entry + R"(,{"Agent":{"text":"next","seq":4}})"));
    EXPECT_EQ(shape(digest), "[A:next#4]") << entry;
    EXPECT_EQ(find_agent_text(digest, 3), std::nullopt) << entry;
  }
}

TEST(DecodeDigest, AgentEntriesKeepTheirOrderAroundOthers) {
  const Digest digest =
      decoded(R"({"turns":[{"entries":[{"Agent":{"text":"x"}},{"kind":"note","n":[1,2]},)"
              R"({"Boundary":{"kind":"k"}},{"Agent":{"text":"y","seq":2}}]},{"entries":[7]}]})");
  EXPECT_EQ(shape(digest), "[A:x#- A:y#2][]");
}

TEST(DecodeDigest, FailsAsAWhole) {
  const std::string deep_entry = std::string(300, '[') + std::string(300, ']');
  for (const std::string& text : std::vector<std::string>{
           "",
           "   ",
           "not json",
           "[]",
           "\"turns\"",
           "7",
           "true",
           "null",
           R"({"turns":{}})",
           R"({"turns":null})",
           R"({"turns":"x"})",
           R"({"turns":[1]})",
           R"({"turns":[null]})",
           R"({"turns":["x"]})",
           R"({"turns":[[]]})",
           R"({"turns":[{"entries":{}}]})",
           R"({"turns":[{"entries":null}]})",
           R"({"turns":[{"entries":"x"}]})",
           R"({} x)",
           R"({}{})",
           R"({"turns":[]},)",
           R"({"turns":[],"turns":[]})",
           R"({"turns":[{"entries":[]}],"turns":[{"entries":[]}]})",
           R"({"turns":[{"entries":[],"entries":[]}]})",
           R"({"turns":[{"entries":[]},{"entries":[],"entries":[]}]})",
           // Ill-formed UTF-8 is not JSON, even inside an entry.
           one_entry("{\"Agent\":{\"text\":\"\xFF\"}}"),
           one_entry("{\"Agent\":{\"text\":\"a\",\"\xC3\":1}}"),
           one_entry(deep_entry),
           std::string(1'000'000, '['),
       }) {
    EXPECT_FALSE(decode_digest(text)) << text.substr(0, 80);
  }
}

TEST(FindAgentText, FirstAgentEntryWithTheNumberWins) {
  const Digest digest = decoded(R"({"turns":[
      {"entries":[{"Boundary":{"kind":"k"}},{"Agent":{"text":"none"}},{"Agent":{"seq":5}},
                  {"Agent":{"text":"first","seq":7}},{"Agent":{"text":"second","seq":7}}]},
      {"entries":[{"Agent":{"text":"later","seq":7}},{"Agent":{"text":"five","seq":5}},
                  {"Agent":{"text":"max","seq":18446744073709551615}}]}]})");
  EXPECT_EQ(find_agent_text(digest, 7), "first");
  EXPECT_EQ(find_agent_text(digest, 5), "five");  // the malformed {"seq":5} is passed over
  EXPECT_EQ(find_agent_text(digest, 18446744073709551615u), "max");
  EXPECT_EQ(find_agent_text(digest, 0), std::nullopt);  // entries without seq never match
  EXPECT_EQ(find_agent_text(digest, 8), std::nullopt);
  EXPECT_EQ(find_agent_text(Digest{}, 7), std::nullopt);
}

TEST(FindAgentText, TextIsGivenWhole) {
  const Digest digest =
      decoded(one_entry(R"({"Agent":{"text":"line 1\nline 2 !!done!!","seq":3}})"));
  EXPECT_EQ(find_agent_text(digest, 3), "line 1\nline 2 !!done!!");
}

}  // namespace
}  // namespace kelvo
