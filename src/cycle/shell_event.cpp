#include "cycle/shell_event.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "common/utf8.hpp"
#include "common/version.hpp"

namespace kelvo {

std::string_view event_name(ShellEventKind kind) {
  switch (kind) {
    case ShellEventKind::Blocked:
      return "blocked";
    case ShellEventKind::Unresponsive:
      return "unresponsive";
    case ShellEventKind::Resumed:
      return "resumed";
    case ShellEventKind::HostFailing:
      return "host-failing";
    case ShellEventKind::HostRecovered:
      return "host-recovered";
    case ShellEventKind::StateKeptAside:
      return "state-kept-aside";
    case ShellEventKind::Ending:
      return "ending";
  }
  return "unknown";
}

std::string_view end_cause_name(EndCause cause) {
  switch (cause) {
    case EndCause::Stopped:
      return "stopped";
    case EndCause::TakenOver:
      return "taken-over";
    case EndCause::Revoked:
      return "revoked";
    case EndCause::Superseded:
      return "superseded";
  }
  return "superseded";
}

std::string event_json(const ShellEvent& event, std::string_view host, std::uint64_t dropped) {
  // Insertion order, so that a person reading the object finds `event` first.
  nlohmann::ordered_json json;
  json["event"] = std::string(event_name(event.kind));
  json["at_ms"] = epoch_ms(event.at);
  json["owner"] = event.owner;
  json["shell_id"] = event.shell_id ? nlohmann::ordered_json(*event.shell_id) : nullptr;
  json["host"] = std::string(host);
  json["since_ms"] = event.since ? nlohmann::ordered_json(epoch_ms(*event.since)) : nullptr;
  json["idle_s"] =
      event.since
          ? nlohmann::ordered_json(whole_seconds(elapsed_between(*event.since, event.at)).count())
          : nullptr;
  json["nudges"] = event.nudges;
  json["detail"] = event.detail;
  json["version"] = std::string(PROGRAM_VERSION);
  if (event.reminder) json["reminder"] = *event.reminder;
  if (event.cause) json["cause"] = std::string(end_cause_name(*event.cause));
  if (dropped != 0) json["dropped"] = dropped;
  // The owner and the agent's text come from outside: bad UTF-8 must not stop the event.
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string excerpt_around(std::string_view text, std::size_t at, std::size_t length,
                           std::size_t max_bytes) {
  at = std::min(at, text.size());
  length = std::min(length, text.size() - at);
  std::size_t lo = at;
  std::size_t hi = at + std::min(length, max_bytes);
  if (length < max_bytes) {
    // Half the room before the code and half after; what one side cannot use goes to the other.
    const std::size_t room = max_bytes - length;
    std::size_t before = std::min(room / 2, at);
    const std::size_t after = std::min(room - before, text.size() - hi);
    before = std::min(room - after, at);
    lo = at - before;
    hi += after;
  }
  // Both ends move inwards to the nearest character boundary.
  std::size_t start = text.size();
  std::size_t end = 0;
  for (std::size_t pos = 0; pos <= text.size();) {
    if (pos >= lo && start == text.size()) start = pos;
    if (pos <= hi) end = pos;
    if (pos == text.size() || pos > hi) break;
    pos += decode_utf8_step(text, pos).length;
  }
  if (start >= end) return {};
  return std::string(text.substr(start, end - start));
}

}  // namespace kelvo
