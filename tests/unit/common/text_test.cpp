#include "common/text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

std::vector<std::string> lines_of(std::string_view text, LineEnd ends = LineEnd::Strip) {
  std::vector<std::string> out;
  for (auto line : split_lines(text, ends)) out.emplace_back(line);
  return out;
}

TEST(SplitLines, FollowsTheHostLineRule) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(lines_of(""), Lines{});
  EXPECT_EQ(lines_of("\n"), Lines{""});
  EXPECT_EQ(lines_of("a"), Lines{"a"});
  EXPECT_EQ(lines_of("a\n"), Lines{"a"});
  EXPECT_EQ(lines_of("a\r\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(lines_of("a\r\r\nb\r"), (Lines{"a\r", "b\r"}));  // only one CR, only before LF
  EXPECT_EQ(lines_of("a\rb\n\nc"), (Lines{"a\rb", "", "c"}));
  EXPECT_EQ(lines_of("\r\n"), Lines{""});
  EXPECT_EQ(lines_of("", LineEnd::Keep), Lines{});
  EXPECT_EQ(lines_of("a\r\n\nb", LineEnd::Keep), (Lines{"a\r\n", "\n", "b"}));
}

TEST(UnicodeSpace, HasExactlyTheWhiteSpaceProperty) {
  const std::vector<char32_t> spaces = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,
                                        0x85,   0xA0,   0x1680, 0x2000, 0x2005, 0x200A,
                                        0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  for (const char32_t cp : spaces) EXPECT_TRUE(is_unicode_space(cp)) << static_cast<unsigned>(cp);
  const std::vector<char32_t> others = {0x08,   0x0E,   0x1F,   0x21,   0x84,   0x86,
                                        0x180E, 0x200B, 0x2060, 0xFEFF, 0x3001, 'a'};
  for (const char32_t cp : others) EXPECT_FALSE(is_unicode_space(cp)) << static_cast<unsigned>(cp);
}

TEST(Trim, RemovesUnicodeWhiteSpaceAtBothEnds) {
  struct Case {
    std::string in, start, end, both;
  };
  const std::vector<Case> cases = {
      {"", "", "", ""},
      {" \t\r\n", "", "", ""},
      {"  a b  ", "a b  ", "  a b", "a b"},
      {"\xC2\xA0x\xE3\x80\x80", "x\xE3\x80\x80", "\xC2\xA0x", "x"},  // NBSP, ideographic space
      {"\xE2\x80\x8Bx", "\xE2\x80\x8Bx", "\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},  // ZWSP is not space
      {" \xFF ", "\xFF ", " \xFF", "\xFF"},  // ill-formed bytes are kept
      // ASCII space after a multi-byte one, and after a cut-off sequence (which is kept)
      {"x\xE3\x80\x80 \t", "x\xE3\x80\x80 \t", "x", "x"},
      {"a\xE3\x80 ", "a\xE3\x80 ", "a\xE3\x80", "a\xE3\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trim_start(c.in), c.start) << c.in;
    EXPECT_EQ(trim_end(c.in), c.end) << c.in;
    EXPECT_EQ(trim(c.in), c.both) << c.in;
  }
}

TEST(SplitWhitespace, KeepsTheNonEmptyWordsInOrder) {
  using Words = std::vector<std::string_view>;
  EXPECT_EQ(split_whitespace(""), Words{});
  EXPECT_EQ(split_whitespace("   "), Words{});
  EXPECT_EQ(split_whitespace("ci_run  peer_wait"), (Words{"ci_run", "peer_wait"}));
  EXPECT_EQ(split_whitespace("\ta\xE2\x80\xA8"
                             "b\xC2\x85"
                             "c "),
            (Words{"a", "b", "c"}));
  EXPECT_EQ(split_whitespace("a a"), (Words{"a", "a"}));
}

TEST(ParseUnsigned, AcceptsOnlyPlainDecimal) {
  EXPECT_EQ(parse_u64("0"), 0u);
  EXPECT_EQ(parse_u64("+17"), 17u);
  EXPECT_EQ(parse_u64("007"), 7u);
  EXPECT_EQ(parse_u64("18446744073709551615"), 18446744073709551615u);
  for (const char* bad : {"", "+", "++1", "-1", " 5", "5 ", "1_000", "18446744073709551616",
                          "99999999999999999999", "0x10", "\xEF\xBC\x91"}) {
    EXPECT_EQ(parse_u64(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(parse_u32("4294967295"), 4294967295u);
  EXPECT_EQ(parse_u32("+0"), 0u);
  EXPECT_EQ(parse_u32("4294967296"), std::nullopt);
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutOverlap) {
  EXPECT_EQ(replace_all("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replace_all("&amp;lt;", "&lt;", "<"), "&amp;lt;");
  EXPECT_EQ(replace_all("x", "y", "z"), "x");
}

TEST(EscapeControls, KeepsTextToOneLineThatDrivesNoTerminal) {
  const struct {
    std::string raw, also, escaped;
  } cases[] = {
      {"plain, ünïcode ✓", "", "plain, ünïcode ✓"},
      {"a\\b\"c", "\"", "a\\\\b\\\"c"},
      {"1\n2\r3\t4", "", "1\\n2\\r3\\t4"},
      {"\x1b[2J\x1b]52;c;eA==\x07\x7f", "", "\\x1b[2J\\x1b]52;c;eA==\\x07\\x7f"},
      {"\u009b31m", "", "\\u009b31m"},  // C1
      {"evil\u202egnp.exe", "", "evil\\u202egnp.exe"},
      {"\u200e\u200f\u202a\u2066\u2069\u061c", "", "\\u200e\\u200f\\u202a\\u2066\\u2069\\u061c"},
      {"\u200d\u2070", "", "\u200d\u2070"},  // a joiner and superscript zero are shown
      {"bad\xff", "", "bad\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(escape_controls(c.raw, c.also), c.escaped) << c.escaped;
}

TEST(Fill, FillsHolesInOrder) {
  EXPECT_EQ(fill("refused {}: {}", {"delay", "why"}), "refused delay: why");
  EXPECT_EQ(fill("{}{}", {"a"}), "a{}");
  EXPECT_EQ(fill("none", {"a"}), "none");
}

}  // namespace
}  // namespace kelvo
