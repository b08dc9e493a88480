#pragma once

#include <string>
#include <vector>

#include "qrn-sim/env.hpp"

namespace kelvo::sim {

// Runs one qrn-sim command line (without the program name) and returns its exit code.
// Failures are written to env.write_err as "qrn-sim: <message>"; the host's refusal lines
// stand on their own, without that prefix, as the shell reads them.
int run_sim(const std::vector<std::string>& args, SimEnv& env);

}  // namespace kelvo::sim
