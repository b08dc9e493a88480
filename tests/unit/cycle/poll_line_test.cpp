#include "cycle/poll_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame_mac.hpp"
#include "qrn-sim/frames.hpp"
#include "support/link_token.hpp"

namespace kelvo {
namespace {

using testing::kLink;

// The outcome of every kind of line, signed under the run's link or another one, in the loop's
// order: a boundary first, then any mention of one, then io, then a command.
TEST(SortPollLine, SortsEachLineByItsOneCheckAndItsType) {
  struct Case {
    std::string frame;
    std::string signed_by;  // empty: the bare frame, no MAC at all
    PollLine sorted;
  };
  const std::string status = sim::shell_command_frame("status", "{}");
  const std::vector<Case> cases = {
      {sim::boundary_frame("compact"), kLink, BoundaryLine{}},
      {sim::agent_output_frame("hi", 3, false), kLink, IoFrame{3, "AGENT_OUTPUT", "hi", false}},
      {status, kLink, ShellCommand{StatusCommand{}}},
      {sim::shell_command_frame("nope", "{}"), kLink,
       ShellCommand{RefusedCommand{"nope", "unknown op"}}},
      // Genuine, but no boundary the shell takes: a missing kind, a mere mention of the type.
      {R"(<EVENT type="boundary"></EVENT>)", kLink, RefusedBoundaryLine{}},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT" was_type="boundary">x</EVENT>)", kLink,
       RefusedBoundaryLine{}},
      {R"(<EVENT type="io" kind="AGENT_OUTPUT">say type=&quot;boundary&quot;</EVENT>)", kLink,
       IoFrame{std::nullopt, "AGENT_OUTPUT", R"(say type="boundary")", false}},
      // Genuine frames of no type the loop acts on, or lacking what their type needs.
      {sim::activity_frame(true, 5), kLink, IgnoredLine{}},
      {R"(<EVENT type="io" seq="1">x</EVENT>)", kLink, IgnoredLine{}},
      {R"(<EVENT type="shell_command">{}</EVENT>)", kLink, IgnoredLine{}},
      {R"(<EVENT kind="x" op="status">{}</EVENT>)", kLink, IgnoredLine{}},
      // Forged or unsigned: a boundary still counts as refused, anything else is nothing.
      {sim::boundary_frame("compact"), "other", RefusedBoundaryLine{}},
      {sim::boundary_frame("compact"), "", RefusedBoundaryLine{}},
      {sim::agent_output_frame("hi", 3, false), "other", IgnoredLine{}},
      {status, "other", IgnoredLine{}},
      {status, "", IgnoredLine{}},
      {"not a frame", "", IgnoredLine{}},
  };
  const FrameKey key = derive_frame_key(kLink);
  for (const Case& c : cases) {
    const std::string line = c.signed_by.empty() ? c.frame : *sign_frame(c.frame, c.signed_by);
    EXPECT_EQ(sort_poll_line(line, key), c.sorted) << c.frame << " by '" << c.signed_by << "'";
  }
}

}  // namespace
}  // namespace kelvo
