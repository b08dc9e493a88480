#include "common/console.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

TEST(Console, PrefixesTheJournalLevelOnlyWhenStandardErrorIsTheJournal) {
  EXPECT_EQ(console_line(Urgency::Error, "bind failed", true), "<3>kelvo-shell: bind failed\n");
  EXPECT_EQ(console_line(Urgency::Warning, "x", true), "<4>kelvo-shell: x\n");
  EXPECT_EQ(console_line(Urgency::Notice, "x", true), "<5>kelvo-shell: x\n");
  EXPECT_EQ(console_line(Urgency::Error, "bind failed", false), "kelvo-shell: bind failed\n");
}

TEST(Console, KnowsTheJournalStreamByItsDeviceAndInode) {
  struct Case {
    std::string journal_stream;
    bool names_it;
  };
  const std::vector<Case> cases = {
      {"8:4242", true}, {"8:4243", false}, {"9:4242", false}, {"8:", false},
      {":4242", false}, {"84242", false},  {"8:42x", false},  {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(names_stream(c.journal_stream, 8, 4242), c.names_it) << c.journal_stream;
  }
}

}  // namespace
}  // namespace kelvo
