#include "common/text.hpp"

#include <limits>

#include "common/hex.hpp"
#include "common/utf8.hpp"

namespace kelvo {

std::vector<std::string_view> split_lines(std::string_view text, LineEnd ends) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    std::size_t end = lf + 1;
    if (ends == LineEnd::Strip) {
      end = lf;
      if (end > start && text[end - 1] == '\r') --end;
    }
    lines.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

bool is_unicode_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

namespace {

bool is_space_at(std::string_view text, std::size_t pos, std::size_t& length) {
  const Utf8Step step = decode_utf8_step(text, pos);
  length = step.length;
  return step.valid && is_unicode_space(step.code_point);
}

}  // namespace

std::string_view trim_start(std::string_view text) {
  std::size_t pos = 0;
  std::size_t length = 0;
  while (pos < text.size() && is_space_at(text, pos, length)) pos += length;
  return text.substr(pos);
}

namespace {

// The characters are only known from the start (an ill-formed sequence ends where decoding
// says), so this walks the whole text.
std::string_view trim_end_from_start(std::string_view text) {
  std::size_t end = 0;  // just past the last character that is not white space
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += length) {
    if (!is_space_at(text, pos, length)) end = pos + length;
  }
  return text.substr(0, end);
}

}  // namespace

std::string_view trim_end(std::string_view text) {
  // An ASCII byte is never part of a multi-byte sequence, well-formed or not, so a last byte
  // below 0x80 is a character of its own and can be judged from the end.
  while (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    if (last >= 0x80) return trim_end_from_start(text);
    if (!is_unicode_space(last)) return text;
    text.remove_suffix(1);
  }
  return text;
}

std::string_view trim(std::string_view text) { return trim_end(trim_start(text)); }

std::vector<std::string_view> split_whitespace(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t word_start = std::string_view::npos;
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += length) {
    if (is_space_at(text, pos, length)) {
      if (word_start != std::string_view::npos) {
        words.push_back(text.substr(word_start, pos - word_start));
        word_start = std::string_view::npos;
      }
    } else if (word_start == std::string_view::npos) {
      word_start = pos;
    }
  }
  if (word_start != std::string_view::npos) words.push_back(text.substr(word_start));
  return words;
}

std::optional<std::uint64_t> parse_u64(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<std::uint32_t> parse_u32(std::string_view text) {
  const auto value = parse_u64(text);
  if (!value || *value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t hit = text.find(from); hit != std::string_view::npos;
       hit = text.find(from, start)) {
    out.append(text.substr(start, hit - start));
    out.append(to);
    start = hit + from.size();
  }
  out.append(text.substr(start));
  return out;
}

namespace {

bool is_control(char32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F);
}

// The marks, embeddings, overrides and isolates that reorder the text around them on a screen.
bool is_bidi_control(char32_t code_point) {
  return code_point == 0x061C || code_point == 0x200E || code_point == 0x200F ||
         (code_point >= 0x202A && code_point <= 0x202E) ||
         (code_point >= 0x2066 && code_point <= 0x2069);
}

}  // namespace

std::string escape_controls(std::string_view raw, std::string_view also) {
  const std::string text = decode_utf8_lossy(raw);
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Step step = decode_utf8_step(text, pos);
    const char32_t cp = step.code_point;
    if (cp == '\\' || (cp < 0x80 && also.find(static_cast<char>(cp)) != std::string_view::npos)) {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (is_control(cp)) {
      out += cp < 0x80 ? "\\x" : "\\u00";
      append_hex(out, static_cast<unsigned char>(cp));
    } else if (is_bidi_control(cp)) {
      out += "\\u";
      append_hex(out, static_cast<unsigned char>(cp >> 8));
      append_hex(out, static_cast<unsigned char>(cp & 0xFF));
    } else {
      out.append(text, pos, step.length);
    }
    pos += step.length;
  }
  return out;
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  std::size_t start = 0;
  for (std::size_t hole = pattern.find("{}"); hole != std::string_view::npos && next != args.end();
       hole = pattern.find("{}", start)) {
    out.append(pattern.substr(start, hole - start));
    out.append(*next++);
    start = hole + 2;
  }
  out.append(pattern.substr(start));
  return out;
}

}  // namespace kelvo
