#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.hpp"

namespace kelvo {

// The key every frame MAC of one link is computed under: SHA-256(link), derived once for the run
// by derive_frame_key. It holds the 32 bytes and an HMAC-SHA256 context keyed with them, and
// wipes both when it goes. Each check restarts that context, so one key serves one thread at a
// time. A key that libcrypto could not derive or set verifies nothing and signs nothing.
class FrameKey {
 public:
  ~FrameKey();
  FrameKey(const FrameKey& other);
  FrameKey& operator=(const FrameKey& other);
  FrameKey(FrameKey&& other) noexcept;
  FrameKey& operator=(FrameKey&& other) noexcept;

  // The HMAC-SHA256 of the text under this key; nothing when libcrypto fails.
  std::optional<std::array<unsigned char, 32>> mac(std::string_view text) const;

 private:
  friend FrameKey derive_frame_key(std::string_view link);
  struct Keyed;

  FrameKey() = default;
  void wipe() noexcept;

  std::array<unsigned char, 32> bytes_{};
  std::unique_ptr<Keyed> keyed_;  // null when the key could not be made
};

FrameKey derive_frame_key(std::string_view link);

// Hex text (either case, two digits a byte) to bytes; nothing for empty, odd or non-hex text.
std::optional<std::vector<unsigned char>> decode_hex_mac(std::string_view mac_text);

// HMAC-SHA256 of the frame text under the key, compared in constant time with the MAC that
// `mac_text` carries (64 hex digits, either case).
bool verify_frame_mac(std::string_view mac_text, std::string_view frame_text, const FrameKey& key);

// The signed line the host sends: lower-case hex MAC, one space, the frame text; fails when
// libcrypto cannot compute the MAC. The shell never signs; the stand-in host and the tests do.
Result<std::string> sign_frame(std::string_view frame_text, std::string_view link);

}  // namespace kelvo
