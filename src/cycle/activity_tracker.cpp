#include "cycle/activity_tracker.hpp"

#include "common/text.hpp"
#include "frame/event_frame.hpp"

namespace kelvo {

std::vector<ActivityEdge> follow_activity(ActivityTracker& tracker,
                                          std::string_view drive_poll_output) {
  std::vector<ActivityEdge> edges;
  for (const std::string_view line : split_lines(drive_poll_output)) {
    const auto frame = parse_activity_frame(line);
    if (!frame) continue;
    const bool is_new = !tracker.last || tracker.last->activity != frame->activity ||
                        tracker.last->since < frame->since;
    if (!is_new) continue;
    tracker.last = *frame;
    edges.push_back(*frame);
  }
  return edges;
}

}  // namespace kelvo
