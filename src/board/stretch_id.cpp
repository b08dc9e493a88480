#include "board/stretch_id.hpp"

namespace kelvo {

namespace {

constexpr std::uint64_t GOLDEN_GAMMA = 0x9E3779B97F4A7C15;

std::uint64_t splitmix64_next(std::uint64_t& state) {
  state += GOLDEN_GAMMA;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
  return z ^ (z >> 31);
}

}  // namespace

std::string stretch_id_from_seed(std::uint64_t clock_ns, std::uint32_t pid) {
  std::uint64_t state = clock_ns ^ (static_cast<std::uint64_t>(pid) << 32) ^ GOLDEN_GAMMA;
  std::string id;
  id.reserve(STRETCH_ID_LENGTH);
  for (std::size_t i = 0; i < STRETCH_ID_LENGTH; ++i) {
    id += STRETCH_ID_ALPHABET[splitmix64_next(state) & 31];
  }
  return id;
}

}  // namespace kelvo
