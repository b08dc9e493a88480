#include "qrn-sim/state.hpp"

#include "qrn-sim/error.hpp"

namespace kelvo::sim {

bool holds(const Link& link, std::string_view shell_id) {
  return !link.revoked && link.bound && link.shell_id == shell_id;
}

std::set<std::string> ids_in_use(const LinksByFile& links, std::string_view owner,
                                 const std::filesystem::path& except) {
  std::set<std::string> ids;
  for (const auto& [file, link] : links) {
    if (file != except && !link.revoked && link.owner == owner) ids.insert(link.shell_id);
  }
  return ids;
}

std::string next_free_shell_id(const std::set<std::string>& taken) {
  for (std::size_t n = 0;; ++n) {
    std::string id = "KELVO-" + std::to_string(n);
    if (!taken.contains(id)) return id;
  }
}

void bind_link(Link& link, std::set<std::string> taken, const ProcessMark& binder,
               const std::function<bool(const ProcessMark&)>& has_ended) {
  const bool restart = link.bound && link.binder && has_ended(*link.binder);
  if (link.bound && !restart) {
    link.superseded.push_back(link.shell_id);
    taken.insert(link.superseded.begin(), link.superseded.end());
    link.shell_id = next_free_shell_id(taken);
  }
  link.bound = true;
  link.binder = binder;
}

namespace {

std::string joined(const std::set<std::string>& words) {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

}  // namespace

std::vector<std::filesystem::path> command_targets(const LinksByFile& links,
                                                   std::string_view shell_id,
                                                   const std::optional<std::string>& owner) {
  std::set<std::string> owners;
  std::vector<std::filesystem::path> files;
  for (const auto& [file, link] : links) {
    if (link.revoked || link.shell_id != shell_id || (owner && link.owner != *owner)) continue;
    owners.insert(link.owner);
    files.push_back(file);
  }
  const std::string id(shell_id);
  if (files.empty()) {
    throw SimError("no live link has shell id " + id + (owner ? " for owner " + *owner : ""));
  }
  if (owners.size() > 1) {
    throw SimError("shell id " + id + " is used by the shells of several owners: " +
                   joined(owners) + "; name one with --owner OWNER");
  }
  return files;
}

void add_turn(Endpoint& endpoint, Turn turn) {
  endpoint.turns.push_back(std::move(turn));
  if (endpoint.turns.size() > kTurnsKept) {
    endpoint.turns.erase(endpoint.turns.begin(),
                         endpoint.turns.end() - static_cast<std::ptrdiff_t>(kTurnsKept));
  }
}

}  // namespace kelvo::sim
