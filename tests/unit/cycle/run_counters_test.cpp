#include "cycle/run_counters.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kelvo {
namespace {

TEST(IoSummary, AFreshRunShowsEveryCountAtZeroAndNoKinds) {
  EXPECT_EQ(io_summary(RunCounters{}),
            "\nio: 0 frame(s), 0 AGENT_OUTPUT, 0 code(s); truncated 0 followed / 0 blind, 0 "
            "pointer(s) missed; 0 boundary(ies), 0 refused");
}

TEST(IoSummary, FillsTheSlotsInOrder) {
  RunCounters c;
  c.frames = 3;
  c.agent_outputs = 2;
  c.codes = 1;
  c.truncated_followed = 4;
  c.truncated_blind = 5;
  c.pointers_missed = 6;
  c.boundaries = 7;
  c.refused = 8;
  c.kinds = {{"AGENT_OUTPUT", 2}, {"TOOL", 1}};
  EXPECT_EQ(io_summary(c),
            "\nio: 3 frame(s), 2 AGENT_OUTPUT, 1 code(s); truncated 4 followed / 5 blind, 6 "
            "pointer(s) missed; 7 boundary(ies), 8 refused; kinds: AGENT_OUTPUT 2, TOOL 1");
}

TEST(KindsText, PreviewsEachKind) {
  const std::string forty(40, 'k');
  EXPECT_EQ(kinds_text({}), "");
  EXPECT_EQ(kinds_text({{"", 1}}), "; kinds: <empty> 1");
  EXPECT_EQ(kinds_text({{forty, 2}}), "; kinds: " + std::string(32, 'k') + " 2");
  EXPECT_EQ(kinds_text({{"tool call/\xC3\xB6", 1}}), "; kinds: tool_call__ 1");
  // 32 characters, not bytes: each two-byte character counts once.
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "\xC3\xB6";
  EXPECT_EQ(kinds_text({{wide, 1}}), "; kinds: " + std::string(32, '_') + " 1");
  // Two kinds with the same preview stay two entries, in byte order of the whole kind.
  EXPECT_EQ(kinds_text({{"a b", 1}, {"a-b", 2}, {"a.b", 3}}), "; kinds: a_b 1, a-b 2, a_b 3");
}

}  // namespace
}  // namespace kelvo
