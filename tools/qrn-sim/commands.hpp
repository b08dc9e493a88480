#pragma once

#include <span>
#include <string>

#include "qrn-sim/env.hpp"

namespace kelvo::sim {

// Each takes the words after its own name and returns the exit code; failures throw SimError.
using Words = std::span<const std::string>;

// The host calls the shell makes: api …, endpoint digest …, send ….
int run_api(Words args, SimEnv& env);
int run_endpoint(Words args, SimEnv& env);
int run_send(Words args, SimEnv& env);

// The verbs that play the operator and the agent.
int run_link(Words args, SimEnv& env);
int run_agent(Words args, SimEnv& env);
int run_boundary(Words args, SimEnv& env);
int run_shell(Words args, SimEnv& env);
int run_emit(Words args, SimEnv& env);
int run_inbox(Words args, SimEnv& env);

}  // namespace kelvo::sim
