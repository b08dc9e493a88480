#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// One step of UTF-8 decoding at a byte offset.
struct Utf8Step {
  char32_t code_point;  // U+FFFD when the bytes are ill-formed
  std::size_t length;   // bytes consumed, at least 1
  bool valid;
};

// Decodes the character that starts at `pos` (pos < text.size()). An ill-formed sequence
// consumes its maximal subpart: the longest prefix that could still begin a valid sequence,
// or one byte when even the first byte can't.
Utf8Step decode_utf8_step(std::string_view text, std::size_t pos);

// Valid UTF-8 passes unchanged; each maximal subpart of an ill-formed sequence becomes one U+FFFD.
std::string decode_utf8_lossy(std::string_view bytes);

bool is_valid_utf8(std::string_view bytes);

// At most `max_bytes` of the text, ending at a whole character, with "…" added when anything was
// cut off (so the result may be 3 bytes longer).
std::string cut_at_character(std::string_view text, std::size_t max_bytes);

void append_utf8(std::string& out, char32_t code_point);

}  // namespace kelvo
