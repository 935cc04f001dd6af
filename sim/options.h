// The command line of kv4t-sim, parsed into Options (shared by the program and tests).
#pragma once

#include <string>

#include "sim/sim.h"

namespace kv4t::sim {

enum class ParseOutcome { run, help, error };

ParseOutcome parse_options(int argc, char** argv, Options& options, std::string* error);
const char* usage_text();

}  // namespace kv4t::sim
