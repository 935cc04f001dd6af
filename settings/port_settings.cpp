#include "settings/port_settings.h"

#include <cstdio>

#include "common/baud_rates.h"

bool IsStandardBaudRate(int32_t baud) { return is_standard_baud_rate(baud); }

std::string DescribePortSettings(const PortSettings& s) {
  char parity = s.parity == 1 ? 'o' : s.parity == 2 ? 'e' : 'n';
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u %u-%c-%u", static_cast<unsigned>(s.baud),
                static_cast<unsigned>(s.bytesize), parity, s.stopbits == 2 ? 2u : 1u);
  return buf;
}
