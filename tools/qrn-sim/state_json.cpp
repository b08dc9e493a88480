#include "qrn-sim/state_json.hpp"

namespace kelvo::sim {

using nlohmann::json;

namespace {

const char* signing_name(Signing signing) {
  switch (signing) {
    case Signing::None:
      return "none";
    case Signing::BadMac:
      return "bad_mac";
    case Signing::Mac:
      break;
  }
  return "mac";
}

Signing signing_from(const std::string& name) {
  if (name == "mac") return Signing::Mac;
  if (name == "none") return Signing::None;
  if (name == "bad_mac") return Signing::BadMac;
  throw json::other_error::create(501, "unknown signing \"" + name + "\"", nullptr);
}

Turn turn_from(const json& value) {
  if (value.contains("Agent")) {
    const json& agent = value.at("Agent");
    return AgentTurn{agent.at("text").get<std::string>(), agent.at("seq").get<std::uint64_t>()};
  }
  const json& boundary = value.at("Boundary");
  return BoundaryTurn{boundary.at("kind").get<std::string>(), boundary.at("ts").get<std::string>()};
}

json binder_to_json(const std::optional<ProcessMark>& binder) {
  if (!binder) return nullptr;
  return {{"pid", binder->pid}, {"start", binder->start ? json(*binder->start) : json(nullptr)}};
}

// Absent in the files of a qrn-sim that did not keep the binder, and null when it is unknown.
std::optional<ProcessMark> binder_from(const json& link) {
  const auto found = link.find("binder");
  if (found == link.end() || found->is_null()) return std::nullopt;
  ProcessMark mark{found->at("pid").get<std::int64_t>(), std::nullopt};
  if (const json& start = found->at("start"); !start.is_null()) {
    mark.start = start.get<std::uint64_t>();
  }
  return mark;
}

}  // namespace

json link_to_json(const Link& link) {
  json queue = json::array();
  for (const auto& frame : link.queue) {
    queue.push_back({{"frame", frame.text}, {"signing", signing_name(frame.signing)}});
  }
  return {{"owner", link.owner},
          {"shell_id", link.shell_id},
          {"bound", link.bound},
          {"superseded", link.superseded},
          {"revoked", link.revoked},
          {"queue", std::move(queue)},
          {"binder", binder_to_json(link.binder)}};
}

Link link_from_json(const json& value) {
  Link link;
  link.owner = value.at("owner").get<std::string>();
  link.shell_id = value.at("shell_id").get<std::string>();
  link.bound = value.at("bound").get<bool>();
  link.superseded = value.at("superseded").get<std::vector<std::string>>();
  link.revoked = value.at("revoked").get<bool>();
  link.binder = binder_from(value);
  for (const auto& frame : value.at("queue")) {
    link.queue.push_back({frame.at("frame").get<std::string>(),
                          signing_from(frame.at("signing").get<std::string>())});
  }
  return link;
}

json endpoint_to_json(const Endpoint& endpoint) {
  json turns = json::array();
  for (const auto& turn : endpoint.turns) turns.push_back(turn_to_json(turn));
  return {{"state", endpoint.idle ? "idle" : "busy"},
          {"since", endpoint.since},
          {"next_seq", endpoint.next_seq},
          {"turns", std::move(turns)}};
}

Endpoint endpoint_from_json(const json& value) {
  Endpoint endpoint;
  const auto activity = value.at("state").get<std::string>();
  if (activity != "idle" && activity != "busy") {
    throw json::other_error::create(501, "unknown state \"" + activity + "\"", nullptr);
  }
  endpoint.idle = activity == "idle";
  endpoint.since = value.at("since").get<std::uint64_t>();
  endpoint.next_seq = value.at("next_seq").get<std::uint64_t>();
  for (const auto& turn : value.at("turns")) endpoint.turns.push_back(turn_from(turn));
  return endpoint;
}

json turn_to_json(const Turn& turn) {
  if (const auto* agent = std::get_if<AgentTurn>(&turn)) {
    return {{"Agent", {{"text", agent->text}, {"seq", agent->seq}}}};
  }
  const auto& boundary = std::get<BoundaryTurn>(turn);
  return {{"Boundary", {{"kind", boundary.kind}, {"ts", boundary.ts}}}};
}

}  // namespace kelvo::sim
