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
  std::span<const int> table = {};  // coded kind: the setting value for each converter code
  bool writable = true;
};

// Every parameter, in the order the state file lists them.
inline constexpr ParamDef kParams[] = {
    {kParamDev, Kind::text, {}, false},
    {kParamVer, Kind::text, {}, false},
    {kParamBaud, Kind::coded, kBaudTable},
    {kParamBits, Kind::coded, kBitsTable},
    {kParamParity, Kind::coded, kParityTable},
    {kParamStop, Kind::coded, kStopTable},
    {kParamDelay, Kind::raw},
    {kParamAlen, Kind::coded, kAlenTable},
    {kParamAddr, Kind::raw},
    {kParamProto, Kind::coded, kProtoTable},
    {kParamLoopDev, Kind::text},
    {kParamLoopVer, Kind::text},
    {kParamLoopBaud, Kind::coded, kLoopBaudTable},
    {kParamLoopBits, Kind::coded, kBitsTable},
    {kParamLoopParity, Kind::coded, kParityTable},
    {kParamLoopStop, Kind::coded, kStopTable},
    {kParamLoopPoll, Kind::raw},
    {kParamApply, Kind::command},
};

// The parameter of a canonical name, or of a wire identifier; null when unknown.
const ParamDef* find_param(std::string_view name);
const ParamDef* find_param(std::uint16_t hash);
// Canonical parameter name for an identifier, or empty.
std::string known_name(std::uint16_t hash);

}  // namespace kv4t::sim
