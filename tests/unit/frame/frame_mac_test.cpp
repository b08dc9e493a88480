#include "frame/frame_mac.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <utility>

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
    const FrameKey key = derive_frame_key(v.link);
    EXPECT_EQ(*sign_frame(v.frame, v.link), v.mac + " " + v.frame);
    EXPECT_TRUE(verify_frame_mac(v.mac, v.frame, key));
    EXPECT_TRUE(verify_frame_mac(upper(v.mac), v.frame, key));
  }
}

// One key checks every line of a run, refused ones between good ones included, and a copy or a
// moved key checks alike after the original is gone.
TEST(FrameMac, AKeyServesManyChecksAndSurvivesCopies) {
  const auto& v = kVectors[0];
  std::optional<FrameKey> original = derive_frame_key(v.link);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(verify_frame_mac(v.mac, v.frame, *original)) << i;
    EXPECT_FALSE(verify_frame_mac(v.mac, v.frame + "x", *original)) << i;
    EXPECT_FALSE(verify_frame_mac(kVectors[1].mac, kVectors[1].frame, *original)) << i;
  }
  FrameKey copy = *original;
  FrameKey moved = std::move(*original);
  original.reset();
  EXPECT_TRUE(verify_frame_mac(v.mac, v.frame, copy));
  EXPECT_TRUE(verify_frame_mac(v.mac, v.frame, moved));
  copy = derive_frame_key(kVectors[1].link);
  EXPECT_TRUE(verify_frame_mac(kVectors[1].mac, kVectors[1].frame, copy));
  EXPECT_FALSE(verify_frame_mac(v.mac, v.frame, copy));
  copy = moved;
  EXPECT_TRUE(verify_frame_mac(v.mac, v.frame, copy));
}

TEST(FrameMac, RefusesEveryNearMiss) {
  const auto& v = kVectors[0];
  const FrameKey key = derive_frame_key(v.link);
  EXPECT_FALSE(verify_frame_mac(v.mac, v.frame, derive_frame_key("tok-124")));
  EXPECT_FALSE(verify_frame_mac(v.mac, v.frame + " ", key));
  EXPECT_FALSE(verify_frame_mac(v.mac, " " + v.frame, key));
  std::string amp = v.frame;
  amp.replace(amp.find("&amp;"), 5, "&");
  EXPECT_FALSE(verify_frame_mac(v.mac, amp, key));
  EXPECT_FALSE(verify_frame_mac(v.mac.substr(0, 62), v.frame, key));
  EXPECT_FALSE(verify_frame_mac(v.mac + "00", v.frame, key));
  EXPECT_FALSE(verify_frame_mac(v.mac.substr(1), v.frame, key));
  std::string with_g = v.mac;
  with_g[10] = 'g';
  EXPECT_FALSE(verify_frame_mac(with_g, v.frame, key));
  EXPECT_FALSE(verify_frame_mac("<EVENT", v.frame, key));
  EXPECT_FALSE(verify_frame_mac("", v.frame, key));
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
