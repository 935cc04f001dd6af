// The lines an engineer meets besides the plain one: an adaptor that echoes what
// it sends, one that hands bytes over at the ticks of a 16 ms latency timer, and
// both, as the cases of a parameterised test named by kind; and a bus of three.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "sim/sim.h"

struct LineKind {
  const char* name;
  bool echo;
  int latency_ms;
};
inline void PrintTo(const LineKind& k, std::ostream* os) { *os << k.name; }

inline constexpr LineKind kPlainLine{"plain", false, 0};
inline constexpr LineKind kEchoLine{"echo", true, 0};
inline constexpr LineKind kLatency16Line{"latency16", false, 16};
inline constexpr LineKind kEchoLatency16Line{"echo_latency16", true, 16};

inline constexpr LineKind kLineKinds[] = {kPlainLine, kEchoLine, kLatency16Line, kEchoLatency16Line};
// Every kind but the plain line, for tests whose plain case is written out apart.
inline constexpr LineKind kLateLineKinds[] = {kEchoLine, kLatency16Line, kEchoLatency16Line};
inline constexpr LineKind kEchoingLines[] = {kEchoLine, kEchoLatency16Line};

inline std::string LineKindName(const ::testing::TestParamInfo<LineKind>& info) {
  return info.param.name;
}

// The simulator's options on a line of this kind.
inline kv4t::sim::Options OnLine(const LineKind& kind, kv4t::sim::Options options = {}) {
  options.echo = kind.echo;
  options.latency_ms = kind.latency_ms;
  return options;
}

// A network of three converters at 19200 baud: RAVIK at addresses 5 and 77 and
// one left in Modbus RTU at address 9, each's version its address after
// version_prefix.
inline constexpr int kBusAddresses[] = {5, 77, 9};
inline constexpr int kBusModbusAddress = 9;
inline kv4t::sim::Options ThreeConverterBus(const std::string& version_prefix) {
  kv4t::sim::Options options;
  for (int address : kBusAddresses) {
    kv4t::sim::ConverterOptions c;
    c.line.baud = 19200;
    c.address = address;
    c.version = version_prefix + std::to_string(address);
    if (address == kBusModbusAddress) c.protocol = kv4t::sim::Protocol::modbus_rtu;
    options.bus.push_back(c);
  }
  return options;
}
