#include "qrn-sim/command_body.hpp"

#include <nlohmann/json.hpp>

#include "common/text.hpp"

namespace kelvo::sim {

using nlohmann::json;

namespace {

// "30" and "-1" and "30.5" become numbers, so the shell's refusals of odd minutes can be
// tried; " 30 " and "half" stay strings.
json number_or_string(const std::string& word) {
  if (trim(word) == word) {
    json parsed = json::parse(word, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_number()) return parsed;
  }
  return word;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

json arguments(std::string_view op, const std::vector<std::string>& words) {
  if (op == "pause" || op == "status") return json::object();
  if (op == "delay" && words.size() == 1) return {{"minutes", number_or_string(words[0])}};
  if (op == "classify" && words.size() == 2) return {{"id", words[0]}, {"name", words[1]}};
  if (op == "retire" && !words.empty()) return {{"names", joined(words)}};
  return {{"args", words}};
}

}  // namespace

std::string shell_command_body(std::string_view op, const std::vector<std::string>& words) {
  return arguments(op, words).dump();
}

}  // namespace kelvo::sim
