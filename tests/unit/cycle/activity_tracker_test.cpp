#include "cycle/activity_tracker.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

std::string frame(const char* state, std::uint64_t since) {
  return std::string("<EVENT type=\"activity\" state=\"") + state + "\" since=\"" +
         std::to_string(since) + "\"></EVENT>\n";
}

using Edges = std::vector<ActivityEdge>;

ActivityEdge idle(std::uint64_t since) { return {Activity::Idle, at_epoch_ms(since)}; }
ActivityEdge busy(std::uint64_t since) { return {Activity::Busy, at_epoch_ms(since)}; }

TEST(ActivityTracker, YieldsOnlyWhatIsNew) {
  ActivityTracker tracker;
  EXPECT_EQ(follow_activity(tracker, frame("busy", 100)), (Edges{busy(100)}));
  EXPECT_EQ(follow_activity(tracker, frame("busy", 100)), Edges{});
  EXPECT_EQ(follow_activity(tracker, frame("busy", 100)), Edges{});
  // A change of state counts even with a smaller since.
  EXPECT_EQ(follow_activity(tracker, frame("idle", 50)), (Edges{idle(50)}));
  EXPECT_EQ(follow_activity(tracker, frame("idle", 49)), Edges{});
  // The same state again with a later since is a fresh edge.
  EXPECT_EQ(follow_activity(tracker, frame("idle", 51)), (Edges{idle(51)}));
}

TEST(ActivityTracker, KeepsOutputOrderAndSkipsOtherLines) {
  ActivityTracker tracker;
  const std::string output = "banner\r\n" + frame("idle", 10) +
                             "<EVENT type=\"activity\" state=\"IDLE\" since=\"11\">"
                             "</EVENT>\n" +
                             frame("busy", 20) + frame("busy", 20);
  EXPECT_EQ(follow_activity(tracker, output), (Edges{idle(10), busy(20)}));
}

TEST(ActivityTracker, AnEmptyOutputKeepsTheMemory) {
  ActivityTracker tracker;
  follow_activity(tracker, frame("idle", 10));
  EXPECT_EQ(follow_activity(tracker, ""), Edges{});  // a failed drive-poll prints nothing
  EXPECT_EQ(follow_activity(tracker, frame("idle", 10)), Edges{});
  EXPECT_EQ(follow_activity(tracker, frame("busy", 5)), (Edges{busy(5)}));
}

}  // namespace
}  // namespace kelvo
