#include "qrn-sim/token.hpp"

#include <openssl/rand.h>

#include <array>

#include "common/hex.hpp"
#include "qrn-sim/error.hpp"

namespace kelvo::sim {

std::string random_link_token() {
  std::array<unsigned char, 16> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    throw SimError("no random bytes for a link token");
  }
  std::string token;
  for (const unsigned char byte : bytes) append_hex(token, byte);
  return token;
}

}  // namespace kelvo::sim
