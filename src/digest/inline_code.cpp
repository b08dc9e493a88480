#include "digest/inline_code.hpp"

#include <utility>

#include "common/text.hpp"
#include "common/utf8.hpp"

namespace kelvo {

namespace {

constexpr std::string_view kMarker = "!!";
constexpr std::string_view kFence = "```";
constexpr std::string_view kClassifyPrefix = "classify=";
constexpr std::string_view kWaitPrefix = "wait=";

void append_blanked(std::string& out, std::string_view line) {
  for (std::size_t pos = 0; pos < line.size(); pos += decode_utf8_step(line, pos).length) {
    out += line[pos] == '\n' ? '\n' : ' ';
  }
}

void append_without_inline_code(std::string& out, std::string_view line) {
  bool in_span = false;
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < line.size(); pos += length) {
    length = decode_utf8_step(line, pos).length;
    const std::string_view character = line.substr(pos, length);
    if (character == "`") {
      in_span = !in_span;
      out += ' ';
    } else if (in_span && character != "\n") {
      out += ' ';
    } else {
      out += character;
    }
  }
}

// The texts between paired markers; the closing marker of one pair never opens the next.
std::vector<std::string_view> paired_inner_texts(std::string_view masked) {
  std::vector<std::string_view> inner_texts;
  std::size_t pos = 0;
  while (true) {
    const std::size_t open = masked.find(kMarker, pos);
    if (open == std::string_view::npos) break;
    const std::size_t inner_start = open + kMarker.size();
    const std::size_t close = masked.find(kMarker, inner_start);
    if (close == std::string_view::npos) break;
    inner_texts.push_back(masked.substr(inner_start, close - inner_start));
    pos = close + kMarker.size();
  }
  return inner_texts;
}

std::optional<ClassifyCode> parse_classify(std::string_view inner) {
  if (!inner.starts_with(kClassifyPrefix)) return std::nullopt;
  inner.remove_prefix(kClassifyPrefix.size());
  const std::size_t colon = inner.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  auto designator = parse_designator(inner.substr(0, colon));
  const std::string_view class_name = inner.substr(colon + 1);
  if (!designator || !is_class_name(class_name)) return std::nullopt;
  return ClassifyCode{std::move(*designator), std::string(class_name)};
}

std::optional<InlineCode> parse_verdict(std::string_view inner) {
  if (inner == "done") return DoneCode{};
  if (!inner.starts_with(kWaitPrefix)) return std::nullopt;
  const auto minutes = parse_u32(inner.substr(kWaitPrefix.size()));
  if (!minutes) return std::nullopt;
  return WaitCode{*minutes};
}

}  // namespace

std::string mask_code_regions(std::string_view text) {
  std::string masked;
  masked.reserve(text.size());
  bool in_fence = false;
  for (const std::string_view line : split_lines(text, LineEnd::Keep)) {
    if (trim_start(line).starts_with(kFence)) {
      in_fence = !in_fence;
      append_blanked(masked, line);
    } else if (in_fence) {
      append_blanked(masked, line);
    } else {
      append_without_inline_code(masked, line);
    }
  }
  return masked;
}

std::vector<ClassifyCode> scan_classify_codes(std::string_view masked) {
  std::vector<ClassifyCode> codes;
  for (const std::string_view inner : paired_inner_texts(masked)) {
    if (auto code = parse_classify(inner)) codes.push_back(std::move(*code));
  }
  return codes;
}

std::optional<InlineCode> scan_verdict_code(std::string_view masked) {
  std::optional<InlineCode> verdict;
  for (const std::string_view inner : paired_inner_texts(masked)) {
    if (auto code = parse_verdict(inner)) verdict = std::move(code);
  }
  return verdict;
}

std::vector<InlineCode> scan_inline_codes(std::string_view text) {
  const std::string masked = mask_code_regions(text);
  std::vector<InlineCode> codes;
  for (ClassifyCode& code : scan_classify_codes(masked)) codes.emplace_back(std::move(code));
  if (auto verdict = scan_verdict_code(masked)) codes.push_back(std::move(*verdict));
  return codes;
}

}  // namespace kelvo
