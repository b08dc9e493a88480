#include "frame/frame_mac.hpp"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <utility>

#include "common/hex.hpp"

namespace kelvo {

namespace {

using Digest32 = std::array<unsigned char, SHA256_DIGEST_LENGTH>;
static_assert(sizeof(Digest32) == 32);

// The algorithms are fetched from the provider once for the run; they hold no key. (The one-shot
// SHA256() and HMAC() calls fetch them again on every call, which is most of their cost.)
const EVP_MD* sha256_algorithm() {
  static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return algorithm;
}

// An HMAC context with its digest chosen and no key: each key starts from a copy of it.
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

// A context keyed with the key bytes; null when libcrypto fails.
EVP_MAC_CTX* keyed_context(const Digest32& key) {
  const EVP_MAC_CTX* unkeyed = unkeyed_hmac_sha256();
  EVP_MAC_CTX* context = unkeyed != nullptr ? EVP_MAC_CTX_dup(unkeyed) : nullptr;
  if (context != nullptr && EVP_MAC_init(context, key.data(), key.size(), nullptr) != 1) {
    EVP_MAC_CTX_free(context);
    context = nullptr;
  }
  return context;
}

// The value of each byte as a hex digit, either case; 0x10 for a byte that is none. A table the
// decoder reads inline: a call per digit that returns an optional costs more than the MAC.
constexpr std::array<unsigned char, 256> kHexValues = [] {
  std::array<unsigned char, 256> values{};
  values.fill(0x10);
  for (int digit = 0; digit < 10; ++digit) values['0' + digit] = static_cast<unsigned char>(digit);
  for (int letter = 0; letter < 6; ++letter) {
    values['a' + letter] = static_cast<unsigned char>(10 + letter);
    values['A' + letter] = static_cast<unsigned char>(10 + letter);
  }
  return values;
}();

// Pairs of hex digits into `out`, which holds half as many bytes as the text has digits; false
// when any digit is not one.
bool decode_hex_into(std::string_view text, unsigned char* out) {
  unsigned invalid = 0;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const unsigned high = kHexValues[static_cast<unsigned char>(text[i])];
    const unsigned low = kHexValues[static_cast<unsigned char>(text[i + 1])];
    invalid |= (high | low) & 0x10;
    out[i / 2] = static_cast<unsigned char>(high << 4 | (low & 0x0F));
  }
  return invalid == 0;
}

// Exactly 64 hex digits, either case, as the 32 bytes they spell.
std::optional<Digest32> decode_mac32(std::string_view mac_text) {
  Digest32 bytes{};
  if (mac_text.size() != 2 * bytes.size() || !decode_hex_into(mac_text, bytes.data())) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

// EVP_MAC_CTX_free wipes the keyed state (the key copy and both pads) as it frees it.
struct FrameKey::Keyed {
  explicit Keyed(EVP_MAC_CTX* made) : context(made) {}
  ~Keyed() { EVP_MAC_CTX_free(context); }
  Keyed(const Keyed&) = delete;
  Keyed& operator=(const Keyed&) = delete;

  EVP_MAC_CTX* context;
};

FrameKey derive_frame_key(std::string_view link) {
  FrameKey key;
  const EVP_MD* sha256 = sha256_algorithm();
  if (sha256 == nullptr ||
      EVP_Digest(link.data(), link.size(), key.bytes_.data(), nullptr, sha256, nullptr) != 1) {
    key.wipe();
    return key;
  }
  if (EVP_MAC_CTX* context = keyed_context(key.bytes_)) {
    key.keyed_ = std::make_unique<FrameKey::Keyed>(context);
  } else {
    key.wipe();
  }
  return key;
}

FrameKey::~FrameKey() { wipe(); }

FrameKey::FrameKey(const FrameKey& other) : bytes_(other.bytes_) {
  if (!other.keyed_) return;
  if (EVP_MAC_CTX* context = keyed_context(bytes_)) {
    keyed_ = std::make_unique<Keyed>(context);
  } else {
    wipe();
  }
}

FrameKey& FrameKey::operator=(const FrameKey& other) {
  if (this != &other) *this = FrameKey(other);
  return *this;
}

FrameKey::FrameKey(FrameKey&& other) noexcept
    : bytes_(other.bytes_), keyed_(std::move(other.keyed_)) {
  other.wipe();
}

FrameKey& FrameKey::operator=(FrameKey&& other) noexcept {
  if (this != &other) {
    wipe();
    bytes_ = other.bytes_;
    keyed_ = std::move(other.keyed_);
    other.wipe();
  }
  return *this;
}

void FrameKey::wipe() noexcept {
  keyed_.reset();
  OPENSSL_cleanse(bytes_.data(), bytes_.size());
}

std::optional<Digest32> FrameKey::mac(std::string_view text) const {
  if (!keyed_) return std::nullopt;
  EVP_MAC_CTX* context = keyed_->context;
  Digest32 mac{};
  std::size_t mac_length = 0;
  // Without a key, init restarts the context from its keyed pads: no key schedule per MAC.
  const bool made = EVP_MAC_init(context, nullptr, 0, nullptr) == 1 &&
                    EVP_MAC_update(context, reinterpret_cast<const unsigned char*>(text.data()),
                                   text.size()) == 1 &&
                    EVP_MAC_final(context, mac.data(), &mac_length, mac.size()) == 1 &&
                    mac_length == mac.size();
  if (!made) return std::nullopt;
  return mac;
}

std::optional<std::vector<unsigned char>> decode_hex_mac(std::string_view mac_text) {
  if (mac_text.empty() || mac_text.size() % 2 != 0) return std::nullopt;
  std::vector<unsigned char> bytes(mac_text.size() / 2);
  if (!decode_hex_into(mac_text, bytes.data())) return std::nullopt;
  return bytes;
}

bool verify_frame_mac(std::string_view mac_text, std::string_view frame_text, const FrameKey& key) {
  const auto given = decode_mac32(mac_text);
  if (!given) return false;
  const auto expected = key.mac(frame_text);
  if (!expected) return false;
  return CRYPTO_memcmp(given->data(), expected->data(), expected->size()) == 0;
}

Result<std::string> sign_frame(std::string_view frame_text, std::string_view link) {
  const auto mac = derive_frame_key(link).mac(frame_text);
  if (!mac) return Failure{"libcrypto could not compute the frame MAC"};
  std::string line;
  line.reserve(mac->size() * 2 + 1 + frame_text.size());
  for (const unsigned char byte : *mac) append_hex(line, byte);
  line += ' ';
  line.append(frame_text);
  return line;
}

}  // namespace kelvo
