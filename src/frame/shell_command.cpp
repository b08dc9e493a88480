#include "frame/shell_command.hpp"

#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "common/agent_voice.hpp"
#include "common/strict_json.hpp"
#include "common/text.hpp"
#include "frame/event_frame.hpp"
#include "frame/frame_escape.hpp"

namespace kelvo {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kNeedsMinutes = "needs whole minutes, e.g. `delay 30`";
constexpr std::string_view kNeedsClassifyOperands =
    "needs a checkpoint designator and a class name, e.g. `classify abc234-2 ci_run`";
constexpr std::string_view kNotClassName =
    "`{}` is not a class name — snake_case [a-z0-9_], ≤32 chars";
constexpr std::string_view kNotDesignator =
    "`{}` is not a checkpoint designator — the form is `<id>-<sub>`, e.g. `abc234-2`";
constexpr std::string_view kExtendRetired =
    "extend was retired in 0.5.0 — wait now extends the live stretch";
constexpr std::string_view kNeedsNames =
    "needs one or more class names, e.g. `retire \"ci_run peer_wait\"`";
constexpr std::string_view kUnknownOp = "unknown op";

// The body's arguments: a JSON object, or an empty one for anything else, a body nested deeper
// than kMaxJsonDepth included. A key given twice keeps its later value.
Json arguments_of(std::string_view body) {
  std::optional<Json> value =
      parse_strict_json(body, [](std::size_t) { return OnDuplicateKey::KeepLast; });
  if (!value || !value->is_object()) return Json::object();
  return std::move(*value);
}

const Json* argument(const Json& arguments, const char* key) {
  const auto it = arguments.find(key);
  return it == arguments.end() ? nullptr : &*it;
}

std::string trimmed_string_argument(const Json& arguments, const char* key) {
  const Json* value = argument(arguments, key);
  if (value == nullptr || !value->is_string()) return {};
  return std::string(trim(value->get_ref<const std::string&>()));
}

// A JSON integer literal in range, or a string holding one; 7.0, 7e0 and -1 are not minutes.
std::optional<std::uint32_t> minutes_argument(const Json& arguments) {
  const Json* value = argument(arguments, "minutes");
  if (value == nullptr) return std::nullopt;
  if (value->is_number_unsigned()) {
    const auto minutes = value->get<std::uint64_t>();
    if (minutes > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(minutes);
  }
  if (value->is_string()) return parse_u32(trim(value->get_ref<const std::string&>()));
  return std::nullopt;
}

RefusedCommand refuse(std::string_view op, std::string message) {
  return RefusedCommand{std::string(op), std::move(message)};
}

ShellCommand delay_command(std::string_view op, const Json& arguments) {
  const auto minutes = minutes_argument(arguments);
  if (!minutes) return refuse(op, std::string(kNeedsMinutes));
  return PauseCommand{minutes};
}

// The name is judged before the designator, so a command wrong in both is refused for its name.
ShellCommand classify_command(std::string_view op, const Json& arguments) {
  const std::string id = trimmed_string_argument(arguments, "id");
  std::string name = trimmed_string_argument(arguments, "name");
  if (id.empty() || name.empty()) return refuse(op, std::string(kNeedsClassifyOperands));
  if (!is_class_name(name)) return refuse(op, fill(kNotClassName, {name}));
  auto designator = parse_designator(id);
  if (!designator) return refuse(op, fill(kNotDesignator, {id}));
  return ClassifyCommand{std::move(*designator), std::move(name)};
}

ShellCommand retire_command(std::string_view op, const Json& arguments) {
  const Json* names = argument(arguments, "names");
  if (names == nullptr || !names->is_string()) return refuse(op, std::string(kNeedsNames));
  RetireCommand command;
  for (const auto word : split_whitespace(names->get_ref<const std::string&>())) {
    command.names.emplace_back(word);
  }
  if (command.names.empty()) return refuse(op, std::string(kNeedsNames));
  return command;
}

}  // namespace

std::optional<ShellCommand> read_shell_command(std::string_view line, const FrameKey& key) {
  const auto frame = open_signed_frame(line, key);
  if (!frame) return std::nullopt;
  return read_shell_command(*frame);
}

std::optional<ShellCommand> read_shell_command(const EventFrame& frame) {
  const auto command = read_shell_command_frame(frame);
  if (!command) return std::nullopt;
  return parse_shell_command(command->op, unescape_body(command->body));
}

ShellCommand parse_shell_command(std::string_view op, std::string_view body) {
  if (op == "pause") return PauseCommand{};
  if (op == "status") return StatusCommand{};
  if (op == "extend") return refuse(op, std::string(kExtendRetired));
  if (op == "delay") return delay_command(op, arguments_of(body));
  if (op == "classify") return classify_command(op, arguments_of(body));
  if (op == "retire") return retire_command(op, arguments_of(body));
  return refuse(op, std::string(kUnknownOp));
}

std::string refusal_text(std::string_view op, std::string_view message) {
  return kelvo_says(fill("refused {}: {}", {op, message}));
}

}  // namespace kelvo
