// The simulator's state file: everything the converter holds, as JSON.
#pragma once

#include <string>
#include <string_view>

#include "sim/sim.h"

namespace kv4t::sim {

std::string state_to_json(const State& state);
// Reads a state file's text over state, which keeps the value of anything the text
// does not give; false (with a short reason in *error) when the text is not a state,
// state then being partly changed.
bool state_from_json(std::string_view text, State& state, std::string* error);

}  // namespace kv4t::sim
