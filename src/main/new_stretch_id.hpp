#pragma once

#include <string>

namespace kelvo {

// A stretch id seeded from the wall clock in nanoseconds and this process's id, so shells started
// in the same instant still draw different ids.
std::string new_stretch_id();

}  // namespace kelvo
