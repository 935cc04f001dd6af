// The simulator's state file: everything the converter holds, as JSON.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/sim.h"

namespace kv4t::sim {

std::string state_to_json(const State& state);
// Reads a state file's text over state, which keeps the value of anything the text
// does not give; false (with a short reason in *error) when the text is not a state,
// state then being partly changed.
bool state_from_json(std::string_view text, State& state, std::string* error);

// The state of a line with several converters: {"converters": [state, ...]}, one
// state as above per converter, in the order of the bus.
std::string bus_state_to_json(const std::vector<State>& states);
// Reads such a file over states (one per converter of the line); false when the text
// is not a bus state or holds another number of converters.
bool bus_state_from_json(std::string_view text, std::vector<State>& states, std::string* error);

}  // namespace kv4t::sim
