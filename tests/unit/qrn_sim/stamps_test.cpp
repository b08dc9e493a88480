#include "qrn-sim/stamps.hpp"

#include <gtest/gtest.h>

namespace kelvo::sim {
namespace {

TEST(SimStamps, UtcStampIsIso8601) {
  EXPECT_EQ(utc_stamp(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(utc_stamp(1'700'000'000'999), "2023-11-14T22:13:20Z");
}

}  // namespace
}  // namespace kelvo::sim
