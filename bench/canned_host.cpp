#include "canned_host.hpp"

#include "frame/frame_mac.hpp"
#include "qrn-sim/frames.hpp"

namespace kelvo::bench {

ProcessResult CannedHost::run(const std::vector<std::string>& args) {
  if (args.size() > 3 && args[3] == "poll") return {Exited{0}, poll_out, {}};
  if (args.size() > 3 && args[3] == "drive-poll") return {Exited{0}, activity_out, {}};
  if (args.size() > 1 && args[1] == "digest") return {Exited{0}, digest_out, {}};
  return {Exited{0}, {}, {}};
}

ProcessStatus CannedHost::send_input(const std::vector<std::string>&, std::string_view) {
  ++sends;
  return Exited{0};
}

StartupSettings bench_settings() { return StartupSettings{kLink, kOwner, kShellId, std::nullopt}; }

std::string agent_output_poll(std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string text =
        "Ran the unit tests again after the rebase; 412 passed, 3 skipped. "
        "Next I will look at the flaky e2e case, step " +
        std::to_string(i + 1) + ".";
    out += *sign_frame(sim::agent_output_frame(text, i + 1, false), kLink);
    out += '\n';
  }
  return out;
}

std::string busy_since(std::uint64_t since) { return sim::activity_frame(false, since) + "\n"; }

}  // namespace kelvo::bench
