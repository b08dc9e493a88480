#include "qrn-sim/inbox.hpp"

#include <nlohmann/json.hpp>

#include "qrn-sim/stamps.hpp"

namespace kelvo::sim {

using nlohmann::json;

std::string inbox_line(const InboxMessage& message) {
  const json value = {{"ts", message.ts},
                      {"from", message.from ? json(*message.from) : json(nullptr)},
                      {"flags", message.flags},
                      {"text", message.text}};
  return value.dump();
}

InboxMessage inbox_message_from(std::string_view line) {
  const json value = json::parse(line);
  InboxMessage message;
  message.ts = value.at("ts").get<std::uint64_t>();
  const json& from = value.at("from");
  if (!from.is_null()) message.from = from.get<std::string>();
  message.flags = value.at("flags").get<std::vector<std::string>>();
  message.text = value.at("text").get<std::string>();
  return message;
}

std::string format_for_person(const InboxMessage& message) {
  std::string out = "── " + local_stamp(message.ts) + " from " + message.from.value_or("(nobody)");
  for (const auto& flag : message.flags) out += " " + flag;
  out += '\n';
  out += message.text;
  if (!message.text.empty() && message.text.back() != '\n') out += '\n';
  out += '\n';
  return out;
}

}  // namespace kelvo::sim
