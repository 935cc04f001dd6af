#include "device/code_tables.h"

#include "common/baud_rates.h"
#include "common/setting_values.h"

namespace {

constexpr int kByteSizes[] = {7, 8};
// The converter counts parity as none, even, odd.
constexpr int kParities[] = {ToValue(Parity::kNone), ToValue(Parity::kEven), ToValue(Parity::kOdd)};
constexpr int kStopBits[] = {ToValue(StopBits::kOne), ToValue(StopBits::kTwo)};
constexpr int kAddrLens[] = {8, 11};
// ... and its protocols as RAVIK, Modbus RTU, Modbus ASCII.
constexpr int kProtocols[] = {ToValue(Protocol::kRavik), ToValue(Protocol::kModbusRtu),
                              ToValue(Protocol::kModbusAscii)};
constexpr int kLoopBauds[] = {110,  300,   600,   1200,  2400,  4800,  9600,
                              14400, 19200, 28800, 38400, 57600, 115200};

constexpr std::span<const int> kTables[kCodeTableCount] = {
    standard_baud_rates, kByteSizes, kParities, kStopBits, kAddrLens, kProtocols, kLoopBauds,
};

}  // namespace

std::span<const int> CodeTableValues(int table) {
  if (table < 0 || table >= kCodeTableCount) return {};
  return kTables[table];
}

int TranslateCodeTable(bool to_converter, int table, int value) {
  const std::span<const int> values = CodeTableValues(table);
  if (to_converter) {
    for (std::size_t code = 0; code < values.size(); ++code)
      if (values[code] == value) return static_cast<int>(code);
    return -1;
  }
  if (value < 0 || static_cast<std::size_t>(value) >= values.size()) return -1;
  return values[static_cast<std::size_t>(value)];
}

ConverterProtocol ConverterCodeOf(Protocol protocol) {
  return static_cast<ConverterProtocol>(
      TranslateCodeTable(true, kTableProtocol, ToValue(protocol)));
}

std::optional<Protocol> ProtocolOfConverterCode(ConverterProtocol code) {
  return ProtocolOf(TranslateCodeTable(false, kTableProtocol, ToValue(code)));
}
