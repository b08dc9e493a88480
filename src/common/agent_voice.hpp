#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// Every text for the agent begins with this: U+27F3, a space, the word in Markdown bold, a space.
inline constexpr std::string_view KELVO_PREFIX = "⟳ **kelvo** ";

// `text` in the shell's voice, behind the prefix.
inline std::string kelvo_says(std::string_view text) {
  return std::string(KELVO_PREFIX).append(text);
}

}  // namespace kelvo
