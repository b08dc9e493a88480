#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// Every byte other than an ASCII letter or digit and the bytes of `also_kept` becomes "%XX" with
// upper-case hex digits, so the text can name a file and distinct texts never share one.
std::string percent_encode(std::string_view text, std::string_view also_kept);

}  // namespace kelvo
