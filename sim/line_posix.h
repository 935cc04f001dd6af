// The line settings of a pseudo-terminal, read and set through the kernel's termios2
// interface, which carries any baud rate as a number (14400 and 28800 have no Bxxx
// constant). On Linux the master's termios calls reach the slave's settings, so the
// converter sees what the computer side set on its end.
#pragma once

#include <string>

#include "sim/sim.h"

namespace kv4t::sim {

struct LineReading {
  LineSettings line;
  bool other_parity = false;  // mark or space parity: nothing the converter speaks
};

bool read_line(int fd, LineReading& out);
// Raw mode (no echo, no translation, receiver on, no modem control) at the given settings.
bool set_raw_line(int fd, const LineSettings& line);
std::string describe(const LineSettings& line);

}  // namespace kv4t::sim
