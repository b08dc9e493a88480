#include "frame/event_frame.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame_mac.hpp"
#include "support/link_token.hpp"

namespace kelvo {
namespace {

using testing::kKey;
using testing::kLink;

std::string signed_line(std::string_view frame_text) { return *sign_frame(frame_text, kLink); }

TEST(EventTag, SplitsAttributesAndBody) {
  struct Case {
    std::string text;
    std::optional<EventFrame> frame;
  };
  const std::vector<Case> cases = {
      {R"(<EVENT type="io">a&lt;b</EVENT>)", EventFrame{R"( type="io")", "a&lt;b"}},
      {"<EVENT></EVENT>", EventFrame{"", ""}},
      {R"(<EVENT type="boundary" kind="x">a</EVENT>b</EVENT>)",
       EventFrame{R"( type="boundary" kind="x")", "a</EVENT>b"}},
      {R"(<EVENT type="io" kind="a>b">x</EVENT>)", EventFrame{R"( type="io" kind="a)", R"(b">x)"}},
      {R"(<EVENT-ACK type="io" kind="AGENT_OUTPUT">x</EVENT>)", std::nullopt},
      {R"(<EVENT type="io">x</EVENT> x)", std::nullopt},
      {R"(<EVENT type="io">x</EVENT )", std::nullopt},
      {R"(<EVENTtype="io">x</EVENT>)", EventFrame{R"(type="io")", "x"}},
      {R"( <EVENT type="io">x</EVENT>)", std::nullopt},
      {R"(<event type="io">x</EVENT>)", std::nullopt},
      {"<EVENT", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_event_tag(c.text), c.frame) << c.text;
}

TEST(FrameAttribute, TakesTheFirstSpaceLedMatch) {
  struct Case {
    std::string attributes;
    std::string name;
    std::optional<std::string> value;
  };
  const std::vector<Case> cases = {
      {R"( type="io" kind="a")", "kind", "a"},
      {R"( kind="first" kind="second")", "kind", "first"},
      {R"( xkind="a")", "kind", std::nullopt},
      {R"( xkind="a" kind="b")", "kind", "b"},
      {R"(kind="a")", "kind", std::nullopt},
      {R"( kind = "a")", "kind", std::nullopt},
      {R"( kind="")", "kind", ""},
      {R"( kind="a)", "kind", std::nullopt},
      {R"( kind="&amp;lt;&quot;&gt;&apos;")", "kind", R"(&lt;">&apos;)"},
      {R"( kind="a<br>b")", "kind", "a<br>b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(frame_attribute(c.attributes, c.name), c.value) << c.attributes;
  }
}

TEST(SignedFrame, OpensOnlyWithTheRightMacOverTheExactText) {
  const std::string frame = R"(<EVENT type="boundary" kind="compact"></EVENT>)";
  const EventFrame expected{R"( type="boundary" kind="compact")", ""};
  EXPECT_EQ(open_signed_frame(signed_line(frame), kKey), expected);
  EXPECT_EQ(open_signed_frame("\t " + signed_line(frame) + " \r", kKey), expected);
  // A second space is part of the signed text; the frame is trimmed only after the check.
  EXPECT_EQ(open_signed_frame(signed_line(" " + frame), kKey), expected);
  const std::string without_space = signed_line(frame);
  const std::string mac = without_space.substr(0, without_space.find(' '));
  EXPECT_EQ(open_signed_frame(mac + "  " + frame, kKey), std::nullopt);
  EXPECT_EQ(open_signed_frame(signed_line(frame), derive_frame_key("another-link")), std::nullopt);
  EXPECT_EQ(open_signed_frame(frame, kKey), std::nullopt);
  EXPECT_EQ(open_signed_frame(mac, kKey), std::nullopt);
  // A forged tag is never parsed, even if it would make a fine frame.
  EXPECT_EQ(open_signed_frame(signed_line(frame) + "x", kKey), std::nullopt);
  EXPECT_EQ(open_signed_frame(signed_line("<EVENT-ACK></EVENT>"), kKey), std::nullopt);
}

TEST(ActivityFrame, NeedsAnExactStateAndPlainDigitsForSince) {
  struct Case {
    std::string line;
    std::optional<ActivityFrame> frame;
  };
  const std::vector<Case> cases = {
      {R"(<EVENT type="activity" state="idle" since="1700000000123"></EVENT>)",
       ActivityFrame{Activity::Idle, at_epoch_ms(1700000000123)}},
      {R"(  <EVENT since="0" state="busy" type="activity">ignored</EVENT>  )",
       ActivityFrame{Activity::Busy, at_epoch_ms(0)}},
      {R"(<EVENT type="activity" state="busy" since="+5"></EVENT>)",
       ActivityFrame{Activity::Busy, at_epoch_ms(5)}},
      {R"(<EVENT type="activity" state="idle" since="18446744073709551615"></EVENT>)",
       ActivityFrame{Activity::Idle, at_epoch_ms(18446744073709551615u)}},
      {R"(<EVENT type="activity" state="idle" since="18446744073709551616"></EVENT>)",
       std::nullopt},
      {R"(<EVENT type="activity" state="idle" since=" 5"></EVENT>)", std::nullopt},
      {R"(<EVENT type="activity" state="idle" since="-1"></EVENT>)", std::nullopt},
      {R"(<EVENT type="activity" state="idle"></EVENT>)", std::nullopt},
      {R"(<EVENT type="activity" state="IDLE" since="5"></EVENT>)", std::nullopt},
      {R"(<EVENT type="activity" since="5"></EVENT>)", std::nullopt},
      {R"(<EVENT type="Activity" state="idle" since="5"></EVENT>)", std::nullopt},
      {R"(<EVENT state="idle" since="5"></EVENT>)", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_activity_frame(c.line), c.frame) << c.line;
}

TEST(ActivityFrame, IsNotAcceptedOnThePollPath) {
  const std::string line =
      signed_line(R"(<EVENT type="activity" state="idle" since="5" kind="x" op="status"></EVENT>)");
  EXPECT_EQ(parse_boundary_frame(line, kKey), std::nullopt);
  EXPECT_EQ(parse_io_frame(line, kKey), std::nullopt);
  EXPECT_EQ(parse_shell_command_frame(line, kKey), std::nullopt);
}

TEST(BoundaryFrame, NeedsKindAndAGoodMac) {
  EXPECT_EQ(
      parse_boundary_frame(signed_line(R"(<EVENT type="boundary" kind="a&amp;b"></EVENT>)"), kKey),
      BoundaryFrame{});
  EXPECT_EQ(
      parse_boundary_frame(signed_line(R"(<EVENT type="boundary" kind="">body</EVENT>)"), kKey),
      BoundaryFrame{});
  EXPECT_EQ(parse_boundary_frame(signed_line(R"(<EVENT type="boundary"></EVENT>)"), kKey),
            std::nullopt);
  // A kind whose value never closes names no kind.
  EXPECT_EQ(parse_boundary_frame(signed_line(R"(<EVENT type="boundary" kind="x></EVENT>)"), kKey),
            std::nullopt);
  EXPECT_EQ(parse_boundary_frame(signed_line(R"(<EVENT type="boundary" xkind="x"></EVENT>)"), kKey),
            std::nullopt);
  EXPECT_EQ(parse_boundary_frame(R"(00 <EVENT type="boundary" kind="x"></EVENT>)", kKey),
            std::nullopt);
}

// The caller counts such a line as a rejected boundary; no parser may take it for anything else.
TEST(BoundaryFrame, AForgedBoundaryIsNoFrameOfAnyType) {
  const std::string frame = R"(<EVENT type="boundary" kind="x" op="status"></EVENT>)";
  const std::string forged = *sign_frame(frame, "another-link");
  EXPECT_EQ(parse_boundary_frame(forged, kKey), std::nullopt);
  EXPECT_EQ(parse_io_frame(forged, kKey), std::nullopt);
  EXPECT_EQ(parse_shell_command_frame(forged, kKey), std::nullopt);
}

TEST(IoFrame, ReadsKindSeqTruncatedAndTheUnescapedText) {
  struct Case {
    std::string frame;
    std::optional<IoFrame> io;
  };
  const std::vector<Case> cases = {
      {R"(<EVENT type="io" kind="AGENT_OUTPUT" seq=" 17 " truncated="1">a&lt;b<br>c</EVENT>)",
       IoFrame{17, "AGENT_OUTPUT", "a<b\nc", true}},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="abc" truncated="true">x</EVENT>)",
       IoFrame{std::nullopt, "AGENT_OUTPUT", "x", false}},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="-1" truncated="0">x</EVENT>)",
       IoFrame{std::nullopt, "AGENT_OUTPUT", "x", false}},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="+3" truncated=" 1">x</EVENT>)",
       IoFrame{3, "AGENT_OUTPUT", "x", false}},
      {R"(<EVENT type="io" kind="USER_INPUT"></EVENT>)",
       IoFrame{std::nullopt, "USER_INPUT", "", false}},
      {R"(<EVENT type="io" kind="first" kind="second">&amp;lt;</EVENT>)",
       IoFrame{std::nullopt, "first", "&lt;", false}},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT">say type=&quot;boundary&quot;</EVENT>)",
       IoFrame{std::nullopt, "AGENT_OUTPUT", R"(say type="boundary")", false}},
      {R"(<EVENT type="io" kind="a>b">x</EVENT>)", std::nullopt},
      {R"(<EVENT type="io" xkind="AGENT_OUTPUT">x</EVENT>)", std::nullopt},
      {R"(<EVENT type="io" seq="1">x</EVENT>)", std::nullopt},
      {R"(<EVENT-ACK type="io" kind="AGENT_OUTPUT">x</EVENT>)", std::nullopt},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT">x</EVENT> x)", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_io_frame(signed_line(c.frame), kKey), c.io) << c.frame;
  }
}

TEST(ShellCommandFrame, KeepsTheBodyEscaped) {
  EXPECT_EQ(parse_shell_command_frame(
                signed_line(R"(<EVENT type="shell_command" op="status"></EVENT>)"), kKey),
            (ShellCommandFrame{"status", ""}));
  EXPECT_EQ(
      parse_shell_command_frame(
          signed_line(R"(<EVENT type="shell_command" op="d&amp;y">{&quot;a&quot;:1}</EVENT>)"),
          kKey),
      (ShellCommandFrame{"d&y", "{&quot;a&quot;:1}"}));
  EXPECT_EQ(parse_shell_command_frame(signed_line(R"(<EVENT type="shell_command"></EVENT>)"), kKey),
            std::nullopt);
}

}  // namespace
}  // namespace kelvo
