#include "sim/line_posix.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdio>

namespace kv4t::sim {
namespace {

int speed_of(unsigned cbaud) {
  switch (cbaud) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
  }
}

}  // namespace

bool read_line(int fd, LineReading& out) {
  struct termios2 t {};
  // ioctl returns -1 on failure.
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  const unsigned cbaud = t.c_cflag & CBAUD;
  int baud = static_cast<int>(t.c_ospeed);
  if (cbaud != BOTHER && speed_of(cbaud) != 0) baud = speed_of(cbaud);
  out.line.baud = baud;
  switch (t.c_cflag & CSIZE) {
    case CS5: out.line.bits = 5; break;
    case CS6: out.line.bits = 6; break;
    case CS7: out.line.bits = 7; break;
    default: out.line.bits = 8; break;
  }
  out.line.parity = (t.c_cflag & PARENB) == 0 ? Parity::none : (t.c_cflag & PARODD) ? Parity::odd : Parity::even;
  out.parodd = (t.c_cflag & PARODD) != 0;
  if (out.parodd) out.line.parity = Parity::odd;
  out.other_parity = (t.c_cflag & PARENB) != 0 && (t.c_cflag & CMSPAR) != 0;
  out.line.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return true;
}

bool set_raw_line(int fd, const LineSettings& line) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CBAUD | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL | (line.bits == 7 ? CS7 : CS8) | BOTHER;
  if (line.parity != Parity::none) t.c_cflag |= PARENB | (line.parity == Parity::odd ? PARODD : 0);
  if (line.stop_bits == 2) t.c_cflag |= CSTOPB;
  t.c_ospeed = t.c_ispeed = static_cast<speed_t>(line.baud);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool line_matches(const LineReading& c, const LineSettings& own) {
  return !c.other_parity && c.line.baud == own.baud && c.line.stop_bits == own.stop_bits &&
         c.parodd == (own.parity == Parity::odd);
}

std::string describe(const LineSettings& l) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d %d-%c-%d", l.baud, l.bits, "NOE"[static_cast<int>(l.parity) % 3], l.stop_bits);
  return buf;
}

}  // namespace kv4t::sim
