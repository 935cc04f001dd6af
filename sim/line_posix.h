// The line settings of a pseudo-terminal, read and set through the kernel's termios2
// interface, which carries any baud rate as a number (14400 and 28800 have no Bxxx
// constant). On Linux the master's termios calls reach the slave's settings, so the
// converter sees what the computer side set on its end (what the driver keeps of it).
#pragma once

#include <string>

#include "sim/sim.h"

namespace kv4t::sim {

struct LineReading {
  LineSettings line;
  bool parodd = false;        // the odd-parity bit, which survives on a pseudo-terminal
  bool other_parity = false;  // mark or space parity: nothing the converter speaks
};

bool read_line(int fd, LineReading& out);
// Whether the computer's settings, as far as a pseudo-terminal keeps them, match the
// converter's. Linux's pseudo-terminal driver forces 8 data bits and clears the
// parity-enable bit on every change, so word length and even-versus-no parity cannot
// be seen; the baud rate, the stop bits and the odd-parity bit can.
bool line_matches(const LineReading& computer, const LineSettings& own);
// Raw mode (no echo, no translation, receiver on, no modem control) at the given settings.
bool set_raw_line(int fd, const LineSettings& line);
std::string describe(const LineSettings& line);

}  // namespace kv4t::sim
