#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "digest/designator.hpp"

namespace kelvo {

// !!classify=<id>-<sub>:<name>!!
struct ClassifyCode {
  Designator designator;
  std::string class_name;

  bool operator==(const ClassifyCode&) const = default;
};

// !!done!!
struct DoneCode {
  bool operator==(const DoneCode&) const = default;
};

// !!wait=<minutes>!!
struct WaitCode {
  std::uint32_t minutes = 0;

  bool operator==(const WaitCode&) const = default;
};

using InlineCode = std::variant<ClassifyCode, DoneCode, WaitCode>;

// Every valid classify code in text order, then the last valid done or wait, if any. Codes in
// fenced blocks or inline code don't count.
std::vector<InlineCode> scan_inline_codes(std::string_view text);

// Blanks fenced blocks (fence lines included) and inline code spans: each character becomes one
// space, line feeds stay. A fence left open runs to the end; a span left open, to its line's end.
std::string mask_code_regions(std::string_view text);

// The scans below take masked text and look only between paired "!!" markers, each pair consumed
// whole from left to right.
std::vector<ClassifyCode> scan_classify_codes(std::string_view masked);

// The last valid DoneCode or WaitCode; an invalid one after it leaves it standing.
std::optional<InlineCode> scan_verdict_code(std::string_view masked);

}  // namespace kelvo
