#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

// Digits 2-9 and a-z without l and o, so an id read aloud or copied by hand stays unambiguous.
inline constexpr std::string_view STRETCH_ID_ALPHABET = "23456789abcdefghijkmnpqrstuvwxyz";
inline constexpr std::size_t STRETCH_ID_LENGTH = 6;

// Six SplitMix64 draws from a seed of the clock and the process id, one alphabet letter each.
std::string stretch_id_from_seed(std::uint64_t clock_ns, std::uint32_t pid);

}  // namespace kelvo
