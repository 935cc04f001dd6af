// The command line of kv4t-sim, parsed into Options (shared by the program and tests).
#pragma once

#include <string>

#include "sim/sim.h"

namespace kv4t::sim {

enum class ParseOutcome { run, help, error };

// Fills options from the command line. *message receives the help text (help) or
// what is wrong with the line (error).
ParseOutcome parse_options(int argc, char** argv, Options& options, std::string* message);

}  // namespace kv4t::sim
