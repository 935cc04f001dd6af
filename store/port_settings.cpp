#include "store/port_settings.h"

#include <cstdio>

bool IsStandardBaudRate(int32_t baud) {
  static const int32_t kRates[] = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
  for (int32_t rate : kRates)
    if (rate == baud) return true;
  return false;
}

std::string DescribePortSettings(const PortSettings& s) {
  char parity = s.parity == 1 ? 'o' : s.parity == 2 ? 'e' : 'n';
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u %u-%c-%u", static_cast<unsigned>(s.baud),
                static_cast<unsigned>(s.bytesize), parity, s.stopbits == 2 ? 2u : 1u);
  return buf;
}
