#include "qrn-sim/digest.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "qrn-sim/state_json.hpp"

namespace kelvo::sim {

std::string digest_json(const Endpoint& endpoint, std::size_t last) {
  const std::size_t count = std::min(last, endpoint.turns.size());
  nlohmann::json turns = nlohmann::json::array();
  for (auto turn = endpoint.turns.end() - static_cast<std::ptrdiff_t>(count);
       turn != endpoint.turns.end(); ++turn) {
    turns.push_back({{"entries", nlohmann::json::array({turn_to_json(*turn)})}});
  }
  return nlohmann::json{{"turns", std::move(turns)}}.dump();
}

}  // namespace kelvo::sim
