#pragma once

#include "main/startup.hpp"

namespace kelvo {

// Runs the shell for the settings start-up produced. It never returns.
[[noreturn]] void run_loop(const StartupSettings& settings);

}  // namespace kelvo
