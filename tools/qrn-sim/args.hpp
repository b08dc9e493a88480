#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::sim {

struct KnownOptions {
  std::vector<std::string_view> with_value;  // "--owner" takes the next word
  std::vector<std::string_view> flags;       // "--json" stands alone
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> values;
  std::set<std::string, std::less<>> flags;

  std::optional<std::string> value(std::string_view name) const;
  bool has(std::string_view flag) const;
};

// Options may stand anywhere among the words; after "--" every word is positional, so a text
// may begin with dashes. An unknown option, a missing value or a repeated option is a usage
// error (SimError carrying `usage`).
ParsedArgs parse_args(std::span<const std::string> args, const KnownOptions& known,
                      const std::string& usage);

// Exactly `count` positional words, or a usage error.
void expect_positional(const ParsedArgs& parsed, std::size_t count, const std::string& usage);

// A decimal count for an option such as --ago or --truncate, or a usage error.
std::uint64_t count_value(const std::string& text, const std::string& usage);

}  // namespace kelvo::sim
