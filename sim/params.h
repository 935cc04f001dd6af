// The converter's parameters as it keeps them: how each name's value is stored and
// which code table gives a coded parameter its setting.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim/sim_constants.h"

namespace kv4t::sim {

enum class Kind { text, raw, coded, command };

struct ParamDef {
  std::string_view name;
  Kind kind;
  std::span<const int> table;  // coded kind: the setting value for each converter code
  bool writable;
};

// Every parameter, in the order the state file lists them.
inline constexpr ParamDef kParams[] = {
    {kParamDev, Kind::text, {}, false},
    {kParamVer, Kind::text, {}, false},
    {kParamBaud, Kind::coded, kBaudTable, true},
    {kParamBits, Kind::coded, kBitsTable, true},
    {kParamParity, Kind::coded, kParityTable, true},
    {kParamStop, Kind::coded, kStopTable, true},
    {kParamDelay, Kind::raw, {}, true},
    {kParamAlen, Kind::coded, kAlenTable, true},
    {kParamAddr, Kind::raw, {}, true},
    {kParamProto, Kind::coded, kProtoTable, true},
    {kParamLoopDev, Kind::text, {}, true},
    {kParamLoopVer, Kind::text, {}, true},
    {kParamLoopBaud, Kind::coded, kLoopBaudTable, true},
    {kParamLoopBits, Kind::coded, kBitsTable, true},
    {kParamLoopParity, Kind::coded, kParityTable, true},
    {kParamLoopStop, Kind::coded, kStopTable, true},
    {kParamLoopPoll, Kind::raw, {}, true},
    {kParamApply, Kind::command, {}, true},
};

// The parameter of a canonical name, or of a wire identifier; null when unknown.
const ParamDef* find_param(std::string_view name);
const ParamDef* find_param(std::uint16_t hash);
// Canonical parameter name for an identifier, or empty.
std::string known_name(std::uint16_t hash);

}  // namespace kv4t::sim
