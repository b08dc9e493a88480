#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "common/result.hpp"

namespace kelvo {

// Where the shells' unit keeps their runtime status (RuntimeDirectory=kelvo-shell).
inline constexpr std::string_view kDefaultRuntimeDir = "/run/kelvo-shell";

enum class FleetFormat { Table, Json, Prometheus };

struct FleetOptions {
  std::filesystem::path runtime_dir{kDefaultRuntimeDir};
  FleetFormat format = FleetFormat::Table;
  std::optional<std::filesystem::path> output;  // replaced whole instead of standard output
  bool help = false;
  bool version = false;
};

// The usage text, ending in a line feed.
std::string_view fleet_usage();

// The options of `kelvo-fleet ARGS…` (without the program's name), with the runtime folder from
// `runtime_dir_env` (KELVO_RUNTIME_DIR; empty counts as unset) unless --runtime-dir gives one; a
// usage error gives the reason, for a line on standard error and exit status 2.
Result<FleetOptions> parse_fleet_args(const std::vector<std::string_view>& args,
                                      std::optional<std::string_view> runtime_dir_env = {});

}  // namespace kelvo
