#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.hpp"

namespace kelvo {

// Hex text (either case, two digits a byte) to bytes; nothing for empty, odd or non-hex text.
std::optional<std::vector<unsigned char>> decode_hex_mac(std::string_view mac_text);

// HMAC-SHA256 of the frame text under SHA-256(link), compared in constant time with the MAC
// that `mac_text` carries. The key is derived afresh for every check and never kept.
bool verify_frame_mac(std::string_view mac_text, std::string_view frame_text,
                      std::string_view link);

// The signed line the host sends: lower-case hex MAC, one space, the frame text; fails when
// libcrypto cannot compute the MAC. The shell never signs; the stand-in host and the tests do.
Result<std::string> sign_frame(std::string_view frame_text, std::string_view link);

}  // namespace kelvo
