#include "common/hex.hpp"

namespace kelvo {

void append_hex(std::string& out, unsigned char byte, HexCase letters) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  const char* digits = letters == HexCase::Lower ? kLower : kUpper;
  out += digits[byte >> 4];
  out += digits[byte & 0x0F];
}

std::optional<unsigned> hex_digit_value(char digit) {
  if (digit >= '0' && digit <= '9') return static_cast<unsigned>(digit - '0');
  if (digit >= 'a' && digit <= 'f') return static_cast<unsigned>(digit - 'a' + 10);
  if (digit >= 'A' && digit <= 'F') return static_cast<unsigned>(digit - 'A' + 10);
  return std::nullopt;
}

}  // namespace kelvo
