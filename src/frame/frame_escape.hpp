#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// Attribute values: &lt; &gt; &quot; &amp;, decoded in that order, one level only.
std::string unescape_attribute(std::string_view text);
// Bodies: <br> to LF first, then the attribute escapes.
std::string unescape_body(std::string_view text);

// The inverse escapers, for whatever builds frames (the stand-in host, tests).
std::string escape_attribute(std::string_view text);
std::string escape_body(std::string_view text);

}  // namespace kelvo
