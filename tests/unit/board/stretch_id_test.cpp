#include "board/stretch_id.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "cycle/stretch_ids.hpp"

namespace kelvo {
namespace {

TEST(StretchId, MatchesSplitMix64) {
  // Clock 0 and pid 0 seed the state with the golden gamma itself, so the six letters come from
  // outputs 2 to 7 of the published SplitMix64 sequence for seed 0, each taken modulo 32:
  // 0x...65f4 -> 20 n, 0x...454f -> 15 h, 0x...81ec -> 12 e, 0x...749b -> 27 v,
  // 0x...a2ea -> 10 c, 0x...32e1 -> 1 3. The other two were worked through the same steps
  // separately.
  EXPECT_EQ(stretch_id_from_seed(0, 0), "nhevc3");
  EXPECT_EQ(stretch_id_from_seed(1765112700123456789u, 4242), "8y8p6f");
  EXPECT_EQ(stretch_id_from_seed(UINT64_MAX, UINT32_MAX), "zzs6k9");
}

// Two shells started in the same nanosecond must still draw different ids, and so must one
// shell a nanosecond later.
TEST(StretchId, DiffersBetweenProcessesAndBetweenClockReadings) {
  const std::uint64_t clock = 1765112700123456789u;
  std::set<std::string> ids;
  for (std::uint32_t pid = 1; pid <= 200; ++pid) ids.insert(stretch_id_from_seed(clock, pid));
  for (std::uint64_t tick = 1; tick <= 200; ++tick)
    ids.insert(stretch_id_from_seed(clock + tick, 1));
  EXPECT_EQ(ids.size(), 400u);
}

// Six characters a person can read aloud or copy without doubt: lower-case letters and digits
// but not 0, 1, l or o. Each of the 32 that remain turns up.
TEST(StretchId, UsesSixUnambiguousCharactersAndEveryOneOfThem) {
  const auto readable = [](char c) {
    return ((c >= 'a' && c <= 'z') || (c >= '2' && c <= '9')) && c != 'l' && c != 'o';
  };
  std::set<char> used;
  for (std::uint64_t clock = 0; clock < 2000; ++clock) {
    const std::string id = stretch_id_from_seed(clock * 999983, 31337);
    ASSERT_EQ(id.size(), 6u);
    EXPECT_TRUE(std::all_of(id.begin(), id.end(), readable)) << id;
    EXPECT_EQ(id, stretch_id_from_seed(clock * 999983, 31337));
    used.insert(id.begin(), id.end());
  }
  EXPECT_EQ(used.size(), 32u);
}

TEST(StretchId, DrawsDifferIfTakenInTheSameMillisecond) {
  StretchIds ids{.process_id = 4242, .drawn = 0};
  const WallTime now = at_epoch_ms(1'765'112'700'123);
  const std::string first = draw_stretch_id(ids, now);
  EXPECT_NE(draw_stretch_id(ids, now), first);
  EXPECT_EQ(first, stretch_id_from_seed(1'765'112'700'123'000'000, 4242));
}

}  // namespace
}  // namespace kelvo
