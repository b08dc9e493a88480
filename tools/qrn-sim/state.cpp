#include "qrn-sim/state.hpp"

#include "qrn-sim/error.hpp"

namespace kelvo::sim {

Link& link_for(SimState& state, const std::string& token) {
  const auto found = state.links.find(token);
  if (found == state.links.end()) throw SimError("unknown link token");
  return found->second;
}

Endpoint& endpoint_for(SimState& state, const std::string& owner) {
  const auto found = state.endpoints.find(owner);
  if (found == state.endpoints.end()) {
    throw SimError("no endpoint for owner " + owner + " (make one with `link new --owner " + owner +
                   "`)");
  }
  return found->second;
}

Link* held_link(SimState& state, const std::string& token, std::string_view shell_id) {
  const auto found = state.links.find(token);
  if (found == state.links.end()) return nullptr;
  Link& link = found->second;
  if (link.revoked || link.held_by != shell_id) return nullptr;
  return &link;
}

namespace {

template <typename Match>
std::size_t queue_where(SimState& state, const QueuedFrame& frame, Match matches) {
  std::size_t count = 0;
  for (auto& [token, link] : state.links) {
    if (link.revoked || !matches(link)) continue;
    link.queue.push_back(frame);
    ++count;
  }
  return count;
}

}  // namespace

std::size_t queue_for_owner(SimState& state, const std::string& owner, const QueuedFrame& frame) {
  return queue_where(state, frame, [&](const Link& link) { return link.owner == owner; });
}

std::size_t queue_for_shell(SimState& state, std::string_view shell_id, const QueuedFrame& frame) {
  return queue_where(state, frame, [&](const Link& link) { return link.shell_id == shell_id; });
}

void add_turn(Endpoint& endpoint, Turn turn) {
  endpoint.turns.push_back(std::move(turn));
  if (endpoint.turns.size() > kTurnsKept) {
    endpoint.turns.erase(endpoint.turns.begin(),
                         endpoint.turns.end() - static_cast<std::ptrdiff_t>(kTurnsKept));
  }
}

}  // namespace kelvo::sim
