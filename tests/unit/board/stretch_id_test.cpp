#include "board/stretch_id.hpp"

#include <gtest/gtest.h>

#include <cstdint>
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

TEST(StretchId, PidLandsInTheHighHalfOfTheSeed) {
  const std::uint64_t clock = 1765112700123456789u;
  EXPECT_EQ(stretch_id_from_seed(clock, 77), stretch_id_from_seed(clock ^ (77ull << 32), 0));
  EXPECT_NE(stretch_id_from_seed(clock, 77), stretch_id_from_seed(clock, 78));
}

TEST(StretchId, UsesOnlyTheAlphabetAndIsDeterministic) {
  for (std::uint64_t clock = 0; clock < 2000; ++clock) {
    const std::string id = stretch_id_from_seed(clock * 999983, 31337);
    ASSERT_EQ(id.size(), STRETCH_ID_LENGTH);
    EXPECT_EQ(id.find_first_not_of(STRETCH_ID_ALPHABET), std::string::npos) << id;
    EXPECT_EQ(id, stretch_id_from_seed(clock * 999983, 31337));
  }
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
