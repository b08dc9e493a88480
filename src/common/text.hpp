#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

enum class LineEnd {
  Strip,  // the LF and one CR right before it go
  Keep,   // each line keeps its LF (and any CR)
};

// Host output lines: split at LF, a final line without LF counts, a text ending in LF has no
// empty line after it, and an empty text has no lines.
std::vector<std::string_view> split_lines(std::string_view text, LineEnd ends = LineEnd::Strip);

// The code points with the Unicode White_Space property.
bool is_unicode_space(char32_t code_point);

// Trimming and splitting at Unicode white space, on UTF-8 text. Ill-formed bytes are never
// white space, so they stay where they are.
std::string_view trim_start(std::string_view text);
std::string_view trim_end(std::string_view text);
std::string_view trim(std::string_view text);
std::vector<std::string_view> split_whitespace(std::string_view text);

// Unsigned decimal: ASCII digits only, one optional leading "+", no spaces, at least one digit,
// and no value past the type's range.
std::optional<std::uint64_t> parse_u64(std::string_view text);
std::optional<std::uint32_t> parse_u32(std::string_view text);

// Replaces every occurrence of `from` (not empty), left to right, without overlaps.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);

// `raw` kept to one line that drives no terminal: ill-formed UTF-8 becomes U+FFFD, a backslash and
// each character of `also` get a backslash before them, and line breaks, tabs and the other
// control characters are written as \n, \r, \t, \xNN (C0 and DEL) or \u00NN (C1), and so are the
// bidirectional controls that would reorder what a terminal shows (\u202e, …).
std::string escape_controls(std::string_view raw, std::string_view also = {});

// Fills each "{}" of `pattern` with the next argument, in order.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace kelvo
