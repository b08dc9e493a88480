#include "cycle/run_counters.hpp"

#include "common/text.hpp"
#include "common/utf8.hpp"

namespace kelvo {

namespace {

constexpr std::size_t kPreviewChars = 32;

bool is_preview_safe(char32_t cp) {
  return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') ||
         cp == '_' || cp == '-';
}

// The first 32 characters of a kind, each one outside [A-Za-z0-9_-] shown as "_".
std::string kind_preview(std::string_view kind) {
  if (kind.empty()) return "<empty>";
  std::string preview;
  std::size_t pos = 0;
  for (std::size_t shown = 0; shown < kPreviewChars && pos < kind.size(); ++shown) {
    const Utf8Step step = decode_utf8_step(kind, pos);
    preview += is_preview_safe(step.code_point) ? static_cast<char>(step.code_point) : '_';
    pos += step.length;
  }
  return preview;
}

}  // namespace

std::string kinds_text(const std::map<std::string, std::uint64_t>& kinds) {
  if (kinds.empty()) return "";
  std::string entries;
  for (const auto& [kind, count] : kinds) {
    if (!entries.empty()) entries += ", ";
    entries += kind_preview(kind) + " " + std::to_string(count);
  }
  return "; kinds: " + entries;
}

std::string io_summary(const RunCounters& c) {
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  return "\n" + fill(
                    "io: {} frame(s), {} AGENT_OUTPUT, {} code(s); truncated {} followed / {} "
                    "blind, {} pointer(s) missed; {} boundary(ies), {} refused{}",
                    {n(c.frames), n(c.agent_outputs), n(c.codes), n(c.truncated_followed),
                     n(c.truncated_blind), n(c.pointers_missed), n(c.boundaries), n(c.refused),
                     kinds_text(c.kinds)});
}

}  // namespace kelvo
