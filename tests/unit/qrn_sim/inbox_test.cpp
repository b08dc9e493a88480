#include "qrn-sim/inbox.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "qrn-sim/stamps.hpp"

namespace kelvo::sim {
namespace {

TEST(SimInbox, LineRoundTripsEveryField) {
  const InboxMessage message{1'700'000'000'000,
                             "KELVO-0",
                             {"--idle-only", "--ephemeral"},
                             "\xE2\x9F\xB3 **kelvo** a\n\"b\""};
  const std::string line = inbox_line(message);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const InboxMessage back = inbox_message_from(line);
  EXPECT_EQ(back.ts, message.ts);
  EXPECT_EQ(back.from, message.from);
  EXPECT_EQ(back.flags, message.flags);
  EXPECT_EQ(back.text, message.text);
  EXPECT_FALSE(inbox_message_from(R"({"ts":1,"from":null,"flags":[],"text":""})").from);
  EXPECT_THROW(inbox_message_from(R"({"ts":1})"), nlohmann::json::exception);
}

TEST(SimInbox, PersonSeesHeaderThenTextThenABlankLine) {
  const std::uint64_t ts = 1'700'000'000'000;
  EXPECT_EQ(format_for_person({ts, "KELVO-0", {"--active-only"}, "a\nb"}),
            "── " + local_stamp(ts) + " from KELVO-0 --active-only\na\nb\n\n");
  EXPECT_EQ(format_for_person({ts, std::nullopt, {}, "ends\n"}),
            "── " + local_stamp(ts) + " from (nobody)\nends\n\n");
}

}  // namespace
}  // namespace kelvo::sim
