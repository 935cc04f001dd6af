#include "cli/tool.h"
#include "common/setting_values.h"
#include "link/serio.h"

namespace {

// A register the converter answers in Modbus: the first of its holding registers.
constexpr int kVerifyRegister = 0;

}  // namespace

bool AnswersModbus(ConverterDevice& device, bool ascii) {
  // Modbus requests keep the line settings the channel has, still those at which
  // the settings and "APLY" went out.
  const PortSettings& link = device.LinkSet();
  serio& channel = *device.channel;
  channel.set_params(link.baud, link.bytesize, link.parity, link.stopbits);
  channel.set_line_control(link.adaptor);
  int value = 0;
  int exception = 0;
  return device.ModbusReadRegister(ascii, kVerifyRegister, value, &exception) || exception != 0;
}

Verification VerifyNewSettings(ConverterDevice& device) {
  // The RS-485 set holds what was written, the protocol among it; the link set
  // the line settings and the address the converter now answers at.
  const PortSettings& rs = device.Rs485Set();
  if (rs.proto == ToValue(Protocol::kRavik)) {
    if (device.Identify() && device.IsKS4T())
      return {true, "преобразователь отвечает с новыми настройками"};
    return {false, Format("преобразователь не отвечает с новыми настройками (%s, адрес %d); "
                          "найдите его командой \"kv4t scan\"",
                          DescribePortSettings(rs).c_str(), rs.address)};
  }

  // It now speaks Modbus. Identification would send the wake-up, which returns it
  // to RAVIK: a register read in its protocol asks it instead.
  const char* proto = ProtocolName(rs.proto);
  const std::string where = Format("%s, адрес %d, протокол %s", DescribePortSettings(rs).c_str(),
                                   rs.address, proto);
  if (rs.address == 0)
    return {false, Format("проверить нельзя: адрес 0 в Modbus широковещательный, на запросы по "
                          "нему преобразователь не отвечает (%s)",
                          where.c_str())};
  if (AnswersModbus(device, rs.proto == ToValue(Protocol::kModbusAscii)))
    return {true, Format("преобразователь отвечает с новыми настройками по протоколу %s", proto)};
  return {false, Format("преобразователь не отвечает с новыми настройками (%s); команда "
                        "\"kv4t identify\" с этими настройками вернёт его к протоколу RAVIK",
                        where.c_str())};
}
