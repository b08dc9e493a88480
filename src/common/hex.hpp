#pragma once

#include <optional>
#include <string>

namespace kelvo {

enum class HexCase { Lower, Upper };

// Appends the byte as two hex digits.
void append_hex(std::string& out, unsigned char byte, HexCase letters = HexCase::Lower);

// The value of one hex digit, either case.
std::optional<unsigned> hex_digit_value(char digit);

}  // namespace kelvo
