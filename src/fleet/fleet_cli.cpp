#include "fleet/fleet_cli.hpp"

#include <string>

#include "common/text.hpp"

namespace kelvo {

std::string_view fleet_usage() {
  return "usage: kelvo-fleet [--runtime-dir DIR] [--json | --prometheus] [--output FILE]\n"
         "       kelvo-fleet --help | --version\n"
         "The runtime folder is DIR, else $KELVO_RUNTIME_DIR, else /run/kelvo-shell.\n";
}

Result<FleetOptions> parse_fleet_args(const std::vector<std::string_view>& args,
                                      std::optional<std::string_view> runtime_dir_env) {
  FleetOptions options;
  if (runtime_dir_env && !runtime_dir_env->empty()) options.runtime_dir = *runtime_dir_env;
  bool format_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--json" || arg == "--prometheus") {
      if (format_given) return Failure{"give at most one of --json and --prometheus"};
      format_given = true;
      options.format = arg == "--json" ? FleetFormat::Json : FleetFormat::Prometheus;
    } else if (arg == "--runtime-dir" || arg == "--output") {
      if (i + 1 == args.size() || args[i + 1].empty()) {
        return Failure{std::string(arg) + " needs a value"};
      }
      const std::filesystem::path value(args[++i]);
      if (arg == "--runtime-dir") {
        options.runtime_dir = value;
      } else {
        options.output = value;
      }
    } else {
      return Failure{"unknown argument \"" + escape_controls(arg, "\"") + "\""};
    }
  }
  return options;
}

}  // namespace kelvo
