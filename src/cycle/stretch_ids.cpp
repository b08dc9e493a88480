#include "cycle/stretch_ids.hpp"

#include "board/stretch_id.hpp"

namespace kelvo {

std::string draw_stretch_id(StretchIds& ids, WallTime now) {
  const std::uint64_t seed_ns = epoch_ms(now) * 1'000'000 + ids.drawn++;
  return stretch_id_from_seed(seed_ns, ids.process_id);
}

}  // namespace kelvo
