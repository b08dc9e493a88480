#include "frame/frame_mac.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace kelvo {
namespace {

// Computed with openssl dgst -sha256 -mac HMAC, keyed with sha256sum of the link, so the
// signer and the verifier can't share one mistake.
struct Vector {
  std::string link;
  std::string frame;
  std::string mac;
};
const Vector kVectors[] = {
    {"tok-123", R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="7">hi &amp; bye</EVENT>)",
     "5a01dd41e4ac1d720199828a6bbe21df25469defe06d1fe081149b5b391937b2"},
    {"L1nk/\xC3\xBC\xC3\xB1\xC3\xAD", R"( <EVENT type="boundary" kind="compact"></EVENT>)",
     "e0b4c0856f439c20ebbc049dfac38b4ee8cf996921d43257a316d2d0fe10099d"},
};

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

TEST(FrameMac, MatchesIndependentVectors) {
  for (const auto& v : kVectors) {
    EXPECT_EQ(*sign_frame(v.frame, v.link), v.mac + " " + v.frame);
    EXPECT_TRUE(verify_frame_mac(v.mac, v.frame, v.link));
    EXPECT_TRUE(verify_frame_mac(upper(v.mac), v.frame, v.link));
  }
}

TEST(FrameMac, RefusesEveryNearMiss) {
  const auto& v = kVectors[0];
  EXPECT_FALSE(verify_frame_mac(v.mac, v.frame, "tok-124"));
  EXPECT_FALSE(verify_frame_mac(v.mac, v.frame + " ", v.link));
  EXPECT_FALSE(verify_frame_mac(v.mac, " " + v.frame, v.link));
  std::string amp = v.frame;
  amp.replace(amp.find("&amp;"), 5, "&");
  EXPECT_FALSE(verify_frame_mac(v.mac, amp, v.link));
  EXPECT_FALSE(verify_frame_mac(v.mac.substr(0, 62), v.frame, v.link));
  EXPECT_FALSE(verify_frame_mac(v.mac + "00", v.frame, v.link));
  EXPECT_FALSE(verify_frame_mac(v.mac.substr(1), v.frame, v.link));
  std::string with_g = v.mac;
  with_g[10] = 'g';
  EXPECT_FALSE(verify_frame_mac(with_g, v.frame, v.link));
  EXPECT_FALSE(verify_frame_mac("<EVENT", v.frame, v.link));
  EXPECT_FALSE(verify_frame_mac("", v.frame, v.link));
}

TEST(DecodeHexMac, TakesPairsOfHexDigits) {
  using Bytes = std::vector<unsigned char>;
  EXPECT_EQ(decode_hex_mac("00aFf0"), (Bytes{0x00, 0xAF, 0xF0}));
  for (const char* bad : {"", "0", "abc", "0g", "\xC3\xA9\xC3\xA9", " 0"}) {
    EXPECT_EQ(decode_hex_mac(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace kelvo
