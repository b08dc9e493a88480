#include "common/percent_encoding.hpp"

#include "common/hex.hpp"

namespace kelvo {

namespace {

bool is_ascii_alnum(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string percent_encode(std::string_view text, std::string_view also_kept) {
  std::string encoded;
  for (const char c : text) {
    if (is_ascii_alnum(c) || also_kept.find(c) != std::string_view::npos) {
      encoded += c;
    } else {
      encoded += '%';
      append_hex(encoded, static_cast<unsigned char>(c), HexCase::Upper);
    }
  }
  return encoded;
}

}  // namespace kelvo
