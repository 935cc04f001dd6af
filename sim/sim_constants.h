// Names, factory settings and code tables of the KV4T converter as it behaves on
// the wire. The simulator and its tests (and the tests of the layers above that run
// against it) share them from here, so a test never restates a default by hand.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/baud_rates.h"

namespace kv4t::sim {

// Parameter names the converter understands (case as the configurator writes them;
// the identifier on the wire ignores case).
inline constexpr std::string_view kParamDev = "dev";
inline constexpr std::string_view kParamVer = "ver";
inline constexpr std::string_view kParamBaud = "BPS";
inline constexpr std::string_view kParamBits = "Len";
inline constexpr std::string_view kParamParity = "PrtY";
inline constexpr std::string_view kParamStop = "Sbit";
inline constexpr std::string_view kParamDelay = "rs.dl";
inline constexpr std::string_view kParamAlen = "A.Len";
inline constexpr std::string_view kParamAddr = "addr";
inline constexpr std::string_view kParamProto = "PrOt";
inline constexpr std::string_view kParamLoopDev = "dEv.L";
inline constexpr std::string_view kParamLoopVer = "vEr.L";
inline constexpr std::string_view kParamLoopBaud = "BP.L";
inline constexpr std::string_view kParamLoopBits = "LE.L";
inline constexpr std::string_view kParamLoopParity = "Pr.L";
inline constexpr std::string_view kParamLoopStop = "Sb.L";
inline constexpr std::string_view kParamLoopPoll = "FrEq";
inline constexpr std::string_view kParamApply = "APLY";

// Identifiers of a few names, worked out once by hand from the name algorithm
// (tests use them to write raw frames).
inline constexpr std::uint16_t kHashApply = 0x8403;

// Code tables: the converter's own code is the position in the list; the value is the
// setting as the configurator keeps it (parity 0 none, 1 odd, 2 even; stop bits 0 one,
// 2 two; protocol 0 RAVIK, 1 Modbus ASCII, 2 Modbus RTU).
inline constexpr auto kBaudTable = std::to_array(standard_baud_rates);
inline constexpr std::array<int, 2> kBitsTable = {7, 8};
inline constexpr std::array<int, 3> kParityTable = {0, 2, 1};  // code 0 none, 1 even, 2 odd
inline constexpr std::array<int, 2> kStopTable = {0, 2};       // code 0 one, 1 two
inline constexpr std::array<int, 2> kAlenTable = {8, 11};
inline constexpr std::array<int, 3> kProtoTable = {0, 2, 1};   // code 0 RAVIK, 1 RTU, 2 ASCII
inline constexpr std::array<int, 13> kLoopBaudTable = {110,   300,   600,   1200,  2400,
                                                       4800,  9600,  14400, 19200, 28800,
                                                       38400, 57600, 115200};

// The converter's protocol codes ("PrOt" on the wire).
inline constexpr int kProtoCodeRavik = 0;
inline constexpr int kProtoCodeRtu = 1;
inline constexpr int kProtoCodeAscii = 2;

// Parity as the simulator's options and state name it.
enum class Parity { none = 0, odd = 1, even = 2 };
enum class Protocol { ravik = 0, modbus_ascii = 1, modbus_rtu = 2 };

// Factory settings of the converter's RS-485 side.
inline constexpr int kFactoryBaud = 9600;
inline constexpr int kFactoryBits = 8;
inline constexpr Parity kFactoryParity = Parity::none;
inline constexpr int kFactoryStopBits = 1;  // 1 or 2
inline constexpr int kFactoryAddress = 16;
inline constexpr int kFactoryAlen = 8;      // 8 or 11
inline constexpr Protocol kFactoryProtocol = Protocol::ravik;
inline constexpr int kFactoryDelayMs = 2;
inline constexpr std::string_view kFactoryDevice = "KS4T";
inline constexpr std::string_view kFactoryVersion = "KV4T-1.3";

// Factory loop instrument: the built-in catalogue entry and its defaults.
inline constexpr std::string_view kFactoryLoopDevice = "ZR-40";
inline constexpr std::string_view kFactoryLoopVersion = "ZR40A12";
inline constexpr int kFactoryLoopBaud = 9600;
inline constexpr int kFactoryLoopBits = 8;
inline constexpr Parity kFactoryLoopParity = Parity::none;
inline constexpr int kFactoryLoopStopBits = 2;
inline constexpr int kFactoryLoopPoll = 1;

// Modbus side.
inline constexpr std::uint16_t kWakeCoil = 0xF0F0;  // function 5 here: back to RAVIK
inline constexpr int kRegisterCount = 256;           // holding registers 0x00..0xFF
// Factory value of holding register i (all 256 readable).
constexpr std::uint16_t factory_register(int i) { return static_cast<std::uint16_t>(0x4B00 + (i & 0xFF)); }

// Modbus exception codes the converter answers with.
inline constexpr int kExIllegalFunction = 1;
inline constexpr int kExIllegalAddress = 2;
inline constexpr int kExIllegalValue = 3;

// Names under which Modbus requests are counted in the state.
inline constexpr std::string_view kCountModbusRead = "modbus:3";
inline constexpr std::string_view kCountModbusCoil = "modbus:5";
inline constexpr std::string_view kCountModbusOther = "modbus:other";

// Table lookups: code for a setting value, or -1; value for a code, or -1.
template <std::size_t N>
constexpr int code_of(const std::array<int, N>& table, int value) {
  for (std::size_t i = 0; i < N; ++i)
    if (table[i] == value) return static_cast<int>(i);
  return -1;
}
constexpr int value_of(std::span<const int> table, long long code) {
  return code >= 0 && code < static_cast<long long>(table.size()) ? table[static_cast<std::size_t>(code)] : -1;
}

}  // namespace kv4t::sim
