#include "cycle/poll_line.hpp"

#include <gtest/gtest.h>

#include <string>

#include "frame/frame_mac.hpp"
#include "qrn-sim/frames.hpp"

namespace kelvo {
namespace {

const std::string kLink = "link-token";

TEST(SortPollLine, TakesEachKindOfSignedLineInTheLoopsOrder) {
  EXPECT_EQ(sort_poll_line(*sign_frame(sim::boundary_frame("compact"), kLink), kLink),
            PollLine{BoundaryLine{}});
  EXPECT_EQ(sort_poll_line(*sign_frame(sim::agent_output_frame("hi", 3, false), kLink), kLink),
            PollLine{(IoFrame{3, "AGENT_OUTPUT", "hi", false})});
  EXPECT_EQ(sort_poll_line(*sign_frame(sim::shell_command_frame("status", "{}"), kLink), kLink),
            PollLine{ShellCommand{StatusCommand{}}});
}

TEST(SortPollLine, CountsAForgedBoundaryAsRefusedAndIgnoresOtherForgeries) {
  EXPECT_EQ(sort_poll_line(*sign_frame(sim::boundary_frame("compact"), "other"), kLink),
            PollLine{RefusedBoundaryLine{}});
  EXPECT_EQ(sort_poll_line(*sign_frame(sim::shell_command_frame("status", "{}"), "other"), kLink),
            PollLine{IgnoredLine{}});
  EXPECT_EQ(sort_poll_line("not a frame", kLink), PollLine{IgnoredLine{}});
}

}  // namespace
}  // namespace kelvo
