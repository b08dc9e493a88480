#pragma once

#include <nlohmann/json.hpp>

#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// The state file's JSON. Turns are written as the digest writes its entries:
// {"Agent":{"text":…,"seq":…}} and {"Boundary":{"kind":…,"ts":…}}.
nlohmann::json state_to_json(const SimState& state);

// Throws nlohmann::json::exception when the value doesn't have the shape state_to_json writes.
SimState state_from_json(const nlohmann::json& value);

nlohmann::json turn_to_json(const Turn& turn);

}  // namespace kelvo::sim
