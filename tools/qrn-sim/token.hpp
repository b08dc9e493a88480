#pragma once

#include <string>

namespace kelvo::sim {

// 32 lower-case hex digits from the system's random generator; SimError when it fails.
std::string random_link_token();

}  // namespace kelvo::sim
