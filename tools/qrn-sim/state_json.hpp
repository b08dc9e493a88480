#pragma once

#include <nlohmann/json.hpp>

#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// The JSON of a link file and of an endpoint file. Turns are written as the digest writes its
// entries: {"Agent":{"text":…,"seq":…}} and {"Boundary":{"kind":…,"ts":…}}.
nlohmann::json link_to_json(const Link& link);
nlohmann::json endpoint_to_json(const Endpoint& endpoint);

// Throw nlohmann::json::exception when the value doesn't have the shape written above.
Link link_from_json(const nlohmann::json& value);
Endpoint endpoint_from_json(const nlohmann::json& value);

nlohmann::json turn_to_json(const Turn& turn);

}  // namespace kelvo::sim
