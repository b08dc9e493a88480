#include "common/owner_stem.hpp"

#include "common/percent_encoding.hpp"

namespace kelvo {

namespace {

bool is_plain_owner(std::string_view owner) {
  if (owner.empty() || owner == "." || owner == "..") return false;
  for (const char c : owner) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == '%' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string owner_file_stem(std::string_view owner) {
  return is_plain_owner(owner) ? std::string(owner) : percent_encode(owner, "._-");
}

}  // namespace kelvo
