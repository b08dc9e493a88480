#include "qrn-sim/frames.hpp"

#include <gtest/gtest.h>

#include "frame/frame_mac.hpp"

namespace kelvo::sim {
namespace {

TEST(SimFrames, BuildsEachFrameTypeWithEscapes) {
  EXPECT_EQ(activity_frame(true, 1234),
            R"(<EVENT type="activity" state="idle" since="1234"></EVENT>)");
  EXPECT_EQ(activity_frame(false, 0), R"(<EVENT type="activity" state="busy" since="0"></EVENT>)");
  EXPECT_EQ(agent_output_frame("a<b\n\"&", 7, false),
            R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="7">a&lt;b<br>&quot;&amp;</EVENT>)");
  EXPECT_EQ(agent_output_frame("", 8, true),
            R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="8" truncated="1"></EVENT>)");
  EXPECT_EQ(boundary_frame(R"(k"<>)"), R"(<EVENT type="boundary" kind="k&quot;&lt;&gt;"></EVENT>)");
  EXPECT_EQ(shell_command_frame("del\"ay", R"({"minutes":30})"),
            R"(<EVENT type="shell_command" op="del&quot;ay">{&quot;minutes&quot;:30}</EVENT>)");
}

TEST(SimFrames, Utf8PrefixNeverSplitsACharacter) {
  const std::string text = "a\xC3\xA9\xE2\x9F\xB3z";  // a é ⟳ z: 1 + 2 + 3 + 1 bytes
  struct Case {
    std::size_t max;
    std::string expected;
  };
  const Case cases[] = {
      {0, ""},
      {1, "a"},
      {2, "a"},
      {3, "a\xC3\xA9"},
      {4, "a\xC3\xA9"},
      {5, "a\xC3\xA9"},
      {6, "a\xC3\xA9\xE2\x9F\xB3"},
      {7, text},
      {100, text},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8_prefix(text, c.max), c.expected) << c.max;
}

TEST(SimFrames, PollLineSignsBareOrSpoils) {
  const std::string frame = boundary_frame("compact");
  const std::string link = "tok";

  const std::string good = poll_line({frame, Signing::Mac}, link);
  ASSERT_EQ(good.size(), 65 + frame.size());
  EXPECT_EQ(good.substr(65), frame);
  EXPECT_TRUE(verify_frame_mac(good.substr(0, 64), frame, derive_frame_key(link)));
  EXPECT_FALSE(verify_frame_mac(good.substr(0, 64), frame, derive_frame_key("other")));

  EXPECT_EQ(poll_line({frame, Signing::None}, link), frame);

  const std::string bad = poll_line({frame, Signing::BadMac}, link);
  ASSERT_EQ(bad.size(), good.size());
  EXPECT_EQ(bad.substr(64), good.substr(64));
  EXPECT_NE(bad.substr(0, 64), good.substr(0, 64));
  EXPECT_FALSE(verify_frame_mac(bad.substr(0, 64), frame, derive_frame_key(link)));
}

}  // namespace
}  // namespace kelvo::sim
