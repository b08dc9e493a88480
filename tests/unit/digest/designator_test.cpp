#include "digest/designator.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kelvo {
namespace {

TEST(ParseDesignator, SplitsAtTheLastDash) {
  EXPECT_EQ(parse_designator("abc234-2"), (Designator{"abc234", 2}));
  EXPECT_EQ(parse_designator("abc-234-2"), (Designator{"abc-234", 2}));
  EXPECT_EQ(parse_designator("abc234-007"), (Designator{"abc234", 7}));
  EXPECT_EQ(parse_designator("abc234-4294967295"), (Designator{"abc234", 4294967295u}));
  EXPECT_EQ(parse_designator("a b-3"), (Designator{"a b", 3}));
  EXPECT_EQ(parse_designator("--1"), (Designator{"-", 1}));
}

TEST(ParseDesignator, RefusesMalformedText) {
  for (const char* bad : {"", "abc234", "abc234-", "-2", "abc234-2a", "abc234-+2", "abc234- 2",
                          "abc234-2 ", "abc234-4294967296", "abc234--"}) {
    EXPECT_EQ(parse_designator(bad), std::nullopt) << bad;
  }
}

TEST(IsClassName, AcceptsOnlySnakeCaseUpTo32Bytes) {
  EXPECT_TRUE(is_class_name("ci_run"));
  EXPECT_TRUE(is_class_name("a"));
  EXPECT_TRUE(is_class_name("_9"));
  EXPECT_TRUE(is_class_name(std::string(32, 'a')));
  for (const std::string& bad :
       {std::string(), std::string(33, 'a'), std::string("CI_run"), std::string("ci-run"),
        std::string("ci run"), std::string("caf\xC3\xA9"), std::string("a\0b", 3)}) {
    EXPECT_FALSE(is_class_name(bad)) << bad;
  }
}

}  // namespace
}  // namespace kelvo
