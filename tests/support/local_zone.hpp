#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace kelvo::testing {

// 10:29:05 UTC, in milliseconds since the epoch: a moment the local-time texts are checked at.
inline constexpr std::uint64_t k102905 = 1796725745000;

// A fixture for texts in local time: each test picks a TZ with use_zone, and the process's own
// is put back afterwards.
class LocalZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_tz_ = tz;
  }
  void TearDown() override {
    if (saved_tz_) {
      setenv("TZ", saved_tz_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void use_zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  std::optional<std::string> saved_tz_;
};

}  // namespace kelvo::testing
