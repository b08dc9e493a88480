#include "frame/frame_escape.hpp"

#include "common/text.hpp"

namespace kelvo {

namespace {

struct Escape {
  std::string_view text;
  char value;
};

constexpr Escape kLineBreak{"<br>", '\n'};
constexpr Escape kAttributeEscapes[] = {
    {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&amp;", '&'}};

// Decodes in one pass what replacing each escape in turn (<br> first for a body, then the
// attribute escapes in their order) decodes: the escapes never overlap (each entity holds its
// only '&' at its start, and none shares a character with <br>), and no decoded character
// begins a later one, so every pass replaces just the escapes of the original text.
std::string unescape(std::string_view text, bool body) {
  std::string out;
  out.reserve(text.size());
  const std::string_view starts = body ? "&<" : "&";
  std::size_t pos = 0;
  for (std::size_t hit = text.find_first_of(starts); hit != std::string_view::npos;
       hit = text.find_first_of(starts, pos)) {
    out.append(text.substr(pos, hit - pos));
    const std::string_view rest = text.substr(hit);
    const Escape* found = nullptr;
    if (body && rest.starts_with(kLineBreak.text)) found = &kLineBreak;
    for (const Escape& escape : kAttributeEscapes) {
      if (found == nullptr && rest.starts_with(escape.text)) found = &escape;
    }
    out += found != nullptr ? found->value : text[hit];
    pos = hit + (found != nullptr ? found->text.size() : 1);
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace

std::string unescape_attribute(std::string_view text) { return unescape(text, false); }

std::string unescape_body(std::string_view text) { return unescape(text, true); }

std::string escape_attribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string escape_body(std::string_view text) {
  // Raw line breaks never travel: a frame is one line.
  return replace_all(escape_attribute(text), "\n", "<br>");
}

}  // namespace kelvo
