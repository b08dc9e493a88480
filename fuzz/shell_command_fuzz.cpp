// Operator commands: the op and body split at the first NUL byte and parsed directly, and the
// whole input read as a poll line, raw and signed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "digest/designator.hpp"
#include "frame/frame_mac.hpp"
#include "frame/shell_command.hpp"

namespace {

constexpr std::string_view kLink = "fuzz-link-token";

void check(const kelvo::ShellCommand& command, std::string_view op) {
  if (const auto* refused = std::get_if<kelvo::RefusedCommand>(&command)) {
    if (refused->op != op || refused->message.empty()) std::abort();
    if (kelvo::refusal_text(refused->op, refused->message).empty()) std::abort();
  } else if (const auto* classify = std::get_if<kelvo::ClassifyCommand>(&command)) {
    if (op != "classify" || !kelvo::is_class_name(classify->class_name)) std::abort();
  } else if (const auto* retire = std::get_if<kelvo::RetireCommand>(&command)) {
    if (op != "retire" || retire->names.empty()) std::abort();
    for (const auto& name : retire->names) {
      if (name.empty()) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view op = input.substr(0, split);
  const std::string_view body = split == std::string_view::npos ? "" : input.substr(split + 1);
  check(kelvo::parse_shell_command(op, body), op);
  static const kelvo::FrameKey key = kelvo::derive_frame_key(kLink);
  kelvo::read_shell_command(input, key);
  const auto line = kelvo::sign_frame(input, kLink);
  if (!line) std::abort();
  kelvo::read_shell_command(*line, key);
  return 0;
}
