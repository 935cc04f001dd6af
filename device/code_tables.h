// The converter's own numbering of its line settings. The settings records keep
// baud rates in bit/s, parity as 0 none / 1 odd / 2 even, stop bits as 0 one /
// 2 two, address length in bits and the protocol as 0 RAVIK / 1 Modbus ASCII /
// 2 Modbus RTU; the converter counts each of them as a position in a list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/setting_values.h"

// The tables, by number. The converter code is the position in the list.
enum CodeTable : int {
  kTableRs485Baud = 0,  // "BPS"
  kTableByteSize = 1,   // "Len", "LE.L"
  kTableParity = 2,     // "PrtY", "Pr.L"
  kTableStopBits = 3,   // "Sbit", "Sb.L"
  kTableAddrLen = 4,    // "A.Len"
  kTableProtocol = 5,   // "PrOt"
  kTableLoopBaud = 6,   // "BP.L"
};
inline constexpr int kCodeTableCount = 7;

// The setting values of one table, in converter-code order; empty for a table
// number outside 0..6.
std::span<const int> CodeTableValues(int table);

// Setting value -> converter code (to_converter) or converter code -> setting
// value; -1 for a value or code that is not in the table and for an unknown table.
int TranslateCodeTable(bool to_converter, int table, int value);

// The protocol between the settings' numbering and the converter's ("PrOt"
// table). Every protocol has a code; a code the converter does not have names no
// protocol.
ConverterProtocol ConverterCodeOf(Protocol protocol);
std::optional<Protocol> ProtocolOfConverterCode(ConverterProtocol code);
