// Scans arbitrary bytes for inline codes and checks the masking and scanning invariants.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/utf8.hpp"
#include "digest/inline_code.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Character count and line-feed positions, both in characters.
std::string character_shape(std::string_view text) {
  std::string shape;
  for (std::size_t pos = 0; pos < text.size(); pos += kelvo::decode_utf8_step(text, pos).length) {
    shape += text[pos] == '\n' ? '\n' : '.';
  }
  return shape;
}

void check_codes(const std::vector<kelvo::InlineCode>& codes) {
  const auto is_verdict = [](const kelvo::InlineCode& code) {
    return !std::holds_alternative<kelvo::ClassifyCode>(code);
  };
  // Classify codes first, then at most one verdict at the end.
  require(std::count_if(codes.begin(), codes.end(), is_verdict) <= 1);
  require(std::is_partitioned(codes.begin(), codes.end(), std::not_fn(is_verdict)));
  for (const kelvo::InlineCode& code : codes) {
    if (const auto* classify = std::get_if<kelvo::ClassifyCode>(&code)) {
      require(kelvo::is_class_name(classify->class_name) && !classify->designator.id.empty());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string masked = kelvo::mask_code_regions(text);
  require(character_shape(masked) == character_shape(text));
  require(masked.find('`') == std::string::npos);
  require(kelvo::mask_code_regions(masked) == masked);

  const std::vector<kelvo::InlineCode> codes = kelvo::scan_inline_codes(text);
  check_codes(codes);
  require(kelvo::scan_inline_codes(masked) == codes);
  return 0;
}
