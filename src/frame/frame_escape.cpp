#include "frame/frame_escape.hpp"

#include "common/text.hpp"

namespace kelvo {

std::string unescape_attribute(std::string_view text) {
  std::string out = replace_all(text, "&lt;", "<");
  out = replace_all(out, "&gt;", ">");
  out = replace_all(out, "&quot;", "\"");
  return replace_all(out, "&amp;", "&");
}

std::string unescape_body(std::string_view text) {
  return unescape_attribute(replace_all(text, "<br>", "\n"));
}

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
