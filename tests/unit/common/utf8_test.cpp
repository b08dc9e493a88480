#include "common/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string fffd(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += kFffd;
  return out;
}

TEST(Utf8Lossy, ValidTextPassesUnchanged) {
  for (const std::string& text :
       std::vector<std::string>{"", "plain", "\xE2\x9F\xB3 **kelvo** \xE2\x80\x94 \xC3\x97",
                                "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", std::string("a\0b", 3)}) {
    EXPECT_EQ(decode_utf8_lossy(text), text);
    EXPECT_TRUE(is_valid_utf8(text));
  }
}

TEST(Utf8Lossy, EachMaximalSubpartBecomesOneReplacement) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"\x80", fffd(1)},  // stray continuation
      {"a\x80\xBF"
       "b",
       "a" + fffd(2) + "b"},          // two stray continuations
      {"\xC0\xAF", fffd(2)},          // overlong lead: never valid
      {"\xE0\x80\xAF", fffd(3)},      // overlong three-byte form
      {"\xED\xA0\x80", fffd(3)},      // surrogate U+D800
      {"\xF4\x90\x80\x80", fffd(4)},  // above U+10FFFF
      {"\xF5\x80", fffd(2)},          // lead that can never start a sequence
      {"\xE2\x9F", fffd(1)},          // truncated at the end: one subpart
      {"\xE2\x9Fx", fffd(1) + "x"},   // cut by an ASCII byte
      {"\xF0\x9F\x98", fffd(1)},      // three of four bytes
      {"\xF0\x9F\x98\xE2\x80\x94", fffd(1) + "\xE2\x80\x94"},
      {"\xFF\xFE", fffd(2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode_utf8_lossy(c.in), c.out) << ::testing::PrintToString(c.in);
    EXPECT_FALSE(is_valid_utf8(c.in));
  }
}

TEST(Utf8Append, EncodesEveryLength) {
  std::string out;
  for (const char32_t cp : {U'A', U'\u00D7', U'\u27F3', U'\U0001F600'}) append_utf8(out, cp);
  EXPECT_EQ(out, "A\xC3\x97\xE2\x9F\xB3\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace kelvo
