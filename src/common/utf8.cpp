#include "common/utf8.hpp"

namespace kelvo {

namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The range allowed for the second byte after a given lead byte; it excludes overlongs,
// surrogates and code points past U+10FFFF. Later bytes are plain continuations.
struct Lead {
  std::size_t length;
  unsigned char second_min;
  unsigned char second_max;
};

Lead classify_lead(unsigned char byte) {
  if (byte < 0x80) return {1, 0, 0};
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

Utf8Step decode_utf8_step(std::string_view text, std::size_t pos) {
  const auto first = static_cast<unsigned char>(text[pos]);
  const Lead lead = classify_lead(first);
  if (lead.length == 1) return {first, 1, true};
  if (lead.length == 0) return {kReplacementCharacter, 1, false};

  char32_t code_point = first & (0xFF >> (lead.length + 1));
  std::size_t used = 1;
  while (used < lead.length) {
    if (pos + used >= text.size()) return {kReplacementCharacter, used, false};
    const auto byte = static_cast<unsigned char>(text[pos + used]);
    const bool in_range =
        used == 1 ? (byte >= lead.second_min && byte <= lead.second_max) : is_continuation(byte);
    if (!in_range) return {kReplacementCharacter, used, false};
    code_point = (code_point << 6) | (byte & 0x3F);
    ++used;
  }
  return {code_point, used, true};
}

std::string decode_utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const Utf8Step step = decode_utf8_step(bytes, pos);
    if (step.valid) {
      out.append(bytes.substr(pos, step.length));
    } else {
      append_utf8(out, kReplacementCharacter);
    }
    pos += step.length;
  }
  return out;
}

std::string cut_at_character(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + decode_utf8_step(text, end).length;
    if (next > max_bytes) break;
    end = next;
  }
  return std::string(text.substr(0, end)) + "\u2026";
}

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const Utf8Step step = decode_utf8_step(bytes, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace kelvo
