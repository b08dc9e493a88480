#include "qrn-sim/args.hpp"

#include <algorithm>

#include "common/text.hpp"
#include "qrn-sim/error.hpp"

namespace kelvo::sim {

namespace {

bool listed(const std::vector<std::string_view>& names, std::string_view word) {
  return std::find(names.begin(), names.end(), word) != names.end();
}

}  // namespace

std::optional<std::string> ParsedArgs::value(std::string_view name) const {
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

bool ParsedArgs::has(std::string_view flag) const { return flags.contains(flag); }

ParsedArgs parse_args(std::span<const std::string> args, const KnownOptions& known,
                      const std::string& usage) {
  ParsedArgs parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (options_ended || !word.starts_with("--")) {
      parsed.positional.push_back(word);
    } else if (word == "--") {
      options_ended = true;
    } else if (listed(known.with_value, word)) {
      if (i + 1 == args.size() || !parsed.values.emplace(word, args[i + 1]).second) {
        throw usage_error(usage);
      }
      ++i;
    } else if (listed(known.flags, word)) {
      if (!parsed.flags.insert(word).second) throw usage_error(usage);
    } else {
      throw usage_error(usage);
    }
  }
  return parsed;
}

void expect_positional(const ParsedArgs& parsed, std::size_t count, const std::string& usage) {
  if (parsed.positional.size() != count) throw usage_error(usage);
}

std::uint64_t count_value(const std::string& text, const std::string& usage) {
  const auto value = parse_u64(text);
  if (!value) throw usage_error(usage);
  return *value;
}

}  // namespace kelvo::sim
