#include "frame/frame_mac.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <array>

namespace kelvo {

namespace {

using Digest32 = std::array<unsigned char, SHA256_DIGEST_LENGTH>;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Nothing when libcrypto fails: an all-zero MAC left behind must never pass for a genuine one.
std::optional<Digest32> frame_mac(std::string_view frame_text, std::string_view link) {
  Digest32 key{};
  const bool keyed = SHA256(reinterpret_cast<const unsigned char*>(link.data()), link.size(),
                            key.data()) != nullptr;
  Digest32 mac{};
  unsigned int mac_length = 0;
  const bool signed_ok = keyed && HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
                                       reinterpret_cast<const unsigned char*>(frame_text.data()),
                                       frame_text.size(), mac.data(), &mac_length) != nullptr;
  OPENSSL_cleanse(key.data(), key.size());
  if (!signed_ok || mac_length != mac.size()) return std::nullopt;
  return mac;
}

}  // namespace

std::optional<std::vector<unsigned char>> decode_hex_mac(std::string_view mac_text) {
  if (mac_text.empty() || mac_text.size() % 2 != 0) return std::nullopt;
  std::vector<unsigned char> bytes;
  bytes.reserve(mac_text.size() / 2);
  for (std::size_t i = 0; i < mac_text.size(); i += 2) {
    const int high = hex_value(mac_text[i]);
    const int low = hex_value(mac_text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<unsigned char>(high << 4 | low));
  }
  return bytes;
}

bool verify_frame_mac(std::string_view mac_text, std::string_view frame_text,
                      std::string_view link) {
  const auto given = decode_hex_mac(mac_text);
  if (!given) return false;
  const auto expected = frame_mac(frame_text, link);
  if (!expected || given->size() != expected->size()) return false;
  return CRYPTO_memcmp(given->data(), expected->data(), expected->size()) == 0;
}

std::string sign_frame(std::string_view frame_text, std::string_view link) {
  static constexpr char kDigits[] = "0123456789abcdef";
  // A failed signing gives a MAC that no check accepts.
  const Digest32 mac = frame_mac(frame_text, link).value_or(Digest32{});
  std::string line;
  line.reserve(mac.size() * 2 + 1 + frame_text.size());
  for (const unsigned char byte : mac) {
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
  }
  line += ' ';
  line.append(frame_text);
  return line;
}

}  // namespace kelvo
