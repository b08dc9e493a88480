#pragma once

#include <string_view>

namespace kelvo {

// Writes "kelvo-shell: " + message + LF to standard error in one write, so lines from
// several processes never interleave mid-line. Standard output is never used.
void report(std::string_view message);

}  // namespace kelvo
