#pragma once

#include <cstddef>
#include <string>

#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// {"turns":[{"entries":[{"Agent":{"text":…,"seq":…}}]},{"entries":[{"Boundary":…}]},…]}
// over the endpoint's last `last` turns, oldest first; one turn per output or boundary.
std::string digest_json(const Endpoint& endpoint, std::size_t last);

}  // namespace kelvo::sim
