#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "qrn-sim/process_mark.hpp"

namespace kelvo::sim {

// Everything a command touches outside the home folder, so tests can run it in-process.
struct SimEnv {
  std::filesystem::path home;
  std::function<std::uint64_t()> now_ms;
  std::function<std::string()> read_input;  // all of standard input
  std::function<void(std::string_view)> write_out;
  std::function<void(std::string_view)> write_err;
  std::function<std::string()> new_token;
  // Called between two looks at a followed inbox: waits a little, false ends the follow.
  std::function<bool()> keep_following;
  // The program that runs this host call, and whether a program marked so has ended: a bind
  // tells a restart of the holding shell from a takeover by them.
  std::function<ProcessMark()> caller;
  std::function<bool(const ProcessMark&)> has_ended;
  // When set, every poll that is answered appends its time in ms to <poll_log_dir>/<token>.log:
  // the benchmark's record of each shell's cycles. A file per link, because hundreds of shells
  // appending to one file queue on its lock.
  std::filesystem::path poll_log_dir = {};
};

}  // namespace kelvo::sim
