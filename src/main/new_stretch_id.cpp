#include "main/new_stretch_id.hpp"

#include <unistd.h>

#include "board/stretch_id.hpp"
#include "common/clock.hpp"

namespace kelvo {

std::string new_stretch_id() {
  return stretch_id_from_seed(now_ns(), static_cast<std::uint32_t>(getpid()));
}

}  // namespace kelvo
