#include "frame/frame_mac.hpp"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <array>
#include <optional>

#include "common/hex.hpp"

namespace kelvo {

namespace {

using Digest32 = std::array<unsigned char, SHA256_DIGEST_LENGTH>;

// The algorithms are fetched from the provider once for the run; they hold no key. (The one-shot
// SHA256() and HMAC() calls fetch them again on every call, which is most of their cost.)
const EVP_MD* sha256_algorithm() {
  static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return algorithm;
}

// An HMAC context with its digest chosen and no key: each MAC starts from a copy of it.
const EVP_MAC_CTX* unkeyed_hmac_sha256() {
  static EVP_MAC_CTX* const context = [] {
    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* made = hmac != nullptr ? EVP_MAC_CTX_new(hmac) : nullptr;
    EVP_MAC_free(hmac);  // the context keeps its own reference
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (made != nullptr && EVP_MAC_CTX_set_params(made, params) != 1) {
      EVP_MAC_CTX_free(made);
      made = nullptr;
    }
    return made;
  }();
  return context;
}

// HMAC-SHA256 of the frame text under SHA-256(link). The key is derived here, for this MAC
// only, and wiped with the keyed context before returning. Nothing when libcrypto fails.
std::optional<Digest32> frame_mac(std::string_view frame_text, std::string_view link) {
  const EVP_MD* sha256 = sha256_algorithm();
  const EVP_MAC_CTX* unkeyed = unkeyed_hmac_sha256();
  if (sha256 == nullptr || unkeyed == nullptr) return std::nullopt;
  Digest32 key{};
  Digest32 mac{};
  bool made = EVP_Digest(link.data(), link.size(), key.data(), nullptr, sha256, nullptr) == 1;
  EVP_MAC_CTX* context = made ? EVP_MAC_CTX_dup(unkeyed) : nullptr;
  std::size_t mac_length = 0;
  made = context != nullptr && EVP_MAC_init(context, key.data(), key.size(), nullptr) == 1 &&
         EVP_MAC_update(context, reinterpret_cast<const unsigned char*>(frame_text.data()),
                        frame_text.size()) == 1 &&
         EVP_MAC_final(context, mac.data(), &mac_length, mac.size()) == 1 &&
         mac_length == mac.size();
  EVP_MAC_CTX_free(context);  // frees and wipes the keyed state
  OPENSSL_cleanse(key.data(), key.size());
  if (!made) return std::nullopt;
  return mac;
}

}  // namespace

std::optional<std::vector<unsigned char>> decode_hex_mac(std::string_view mac_text) {
  if (mac_text.empty() || mac_text.size() % 2 != 0) return std::nullopt;
  std::vector<unsigned char> bytes;
  bytes.reserve(mac_text.size() / 2);
  for (std::size_t i = 0; i < mac_text.size(); i += 2) {
    const auto high = hex_digit_value(mac_text[i]);
    const auto low = hex_digit_value(mac_text[i + 1]);
    if (!high || !low) return std::nullopt;
    bytes.push_back(static_cast<unsigned char>(*high << 4 | *low));
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

Result<std::string> sign_frame(std::string_view frame_text, std::string_view link) {
  const auto mac = frame_mac(frame_text, link);
  if (!mac) return Failure{"libcrypto could not compute the frame MAC"};
  std::string line;
  line.reserve(mac->size() * 2 + 1 + frame_text.size());
  for (const unsigned char byte : *mac) append_hex(line, byte);
  line += ' ';
  line.append(frame_text);
  return line;
}

}  // namespace kelvo
