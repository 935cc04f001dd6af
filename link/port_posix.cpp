// The port layer over termios. The channel is written to the Windows
// communications calls; this file gives a tty device the same behaviour: an
// exclusive open, line settings in DCB values, COMMTIMEOUTS read time-outs
// reproduced with poll(), RTS/DTR through the modem-line ioctls.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/unicode.h"
#include "link/port.h"
#include "link/port_names.h"

struct port_handle {
  int fd = -1;
  port_timeouts timeouts;
};

namespace {

// The kernel's termios2 (linux/termbits.h cannot be included beside termios.h):
// the way to rates without a Bnnn constant, such as 14400 and 28800.
struct kernel_termios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
constexpr unsigned long kernel_tcgets2 = _IOR('T', 0x2A, kernel_termios2);
constexpr unsigned long kernel_tcsets2 = _IOW('T', 0x2B, kernel_termios2);
constexpr tcflag_t kernel_cbaud = 0010017;
constexpr tcflag_t kernel_bother = 0010000;

std::string ports_folder() {
  if (const char* dir = std::getenv("KV4T_PORTS_DIR"); dir && *dir) return dir;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/kv4t/ports";
}

speed_t speed_constant(uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;
  }
}

int64_t monotonic_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until fd is ready for events or timeout_ms passes (-1: no limit).
// 1 ready, 0 time-out, -1 error (errno set). *hung_up (when given) tells whether
// the line has hung up (a device unplugged, the other end of a pseudo-terminal
// gone).
int wait_ready(int fd, short events, int64_t timeout_ms, bool* hung_up = nullptr) {
  const int64_t until = timeout_ms < 0 ? -1 : monotonic_ms() + timeout_ms;
  for (;;) {
    int wait = -1;
    if (until >= 0) {
      int64_t left = until - monotonic_ms();
      if (left < 0) left = 0;
      wait = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, wait);
    if (r > 0) {
      if (hung_up) *hung_up = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
      return 1;
    }
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

// A /dev/ttyS device whose UART the kernel found absent ("type" 0, PORT_UNKNOWN).
// Such nodes exist for every ttyS the driver reserves; without this check a user
// outside the group allowed to open them would see each as a busy port.
bool absent_uart(const std::string& path) {
  char resolved[4096];
  if (!realpath(path.c_str(), resolved)) return false;
  const std::string real = resolved;
  if (real.compare(0, 9, "/dev/ttyS") != 0) return false;
  const std::string type_file = "/sys/class/tty/" + real.substr(5) + "/type";
  const int fd = ::open(type_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[16] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  return n > 0 && std::strtol(text, nullptr, 10) == 0 && text[0] == '0';
}

}  // namespace

// COMn: the link comN of the ports folder when there is one, else the default
// numbering COM1..32 = /dev/ttyS0..31, COM33..64 = /dev/ttyUSB0..31,
// COM65..96 = /dev/ttyACM0..31.
std::wstring port_device_path(const std::wstring& name) {
  const int n = com_port_number(name);
  if (n < 0) return name;
  const std::string link = ports_folder() + "/com" + std::to_string(n);
  struct stat st{};
  if (lstat(link.c_str(), &st) == 0) return utf8_to_wide(link);
  if (n >= 1 && n <= 32) return utf8_to_wide("/dev/ttyS" + std::to_string(n - 1));
  if (n >= 33 && n <= 64) return utf8_to_wide("/dev/ttyUSB" + std::to_string(n - 33));
  if (n >= 65 && n <= 96) return utf8_to_wide("/dev/ttyACM" + std::to_string(n - 65));
  return utf8_to_wide(link);
}

port_handle* port_open(const std::wstring& path) {
  const std::string p = wide_to_utf8(path);
  if (absent_uart(p)) {
    errno = ENXIO;
    return nullptr;
  }
  // Non-blocking: opening must not wait for a carrier, and reads and writes wait
  // through poll() under the port's time-outs.
  int fd = ::open(p.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (!isatty(fd)) {
    ::close(fd);
    errno = ENOTTY;
    return nullptr;
  }
  // The lock keeps out every other opener, this process included; TIOCEXCL also
  // keeps out programs that do not lock (but not root).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    errno = EBUSY;
    return nullptr;
  }
  ioctl(fd, TIOCEXCL);
  auto* port = new port_handle;
  port->fd = fd;
  port->timeouts.read_interval = port_maxdword;  // Windows' default: return at once
  return port;
}

void port_close(port_handle* port) {
  if (!port) return;
  // The exclusive mark outlives the descriptor while the other side (the
  // simulator holding the pseudo-terminal open) keeps the tty alive.
  ioctl(port->fd, TIOCNXCL);
  flock(port->fd, LOCK_UN);
  ::close(port->fd);
  delete port;
}

bool port_error_means_present(uint32_t error) {
  return error == EACCES || error == EPERM || error == EBUSY || error == EWOULDBLOCK;
}

bool port_set_line(port_handle* port, const port_line& line) {
  if (line.bytesize < 5 || line.bytesize > 8 || line.parity > 2 || line.stopbits > 2 ||
      line.baud == 0) {
    errno = EINVAL;
    return false;
  }
  termios t{};
  if (tcgetattr(port->fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= sizes[line.bytesize - 5];
  if (line.parity != 0) t.c_cflag |= PARENB;
  if (line.parity == 1) t.c_cflag |= PARODD;
  // One and a half stop bits has no termios form; two is the nearest.
  if (line.stopbits != 0) t.c_cflag |= CSTOPB;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const speed_t speed = speed_constant(line.baud);
  if (speed != 0) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  if (tcsetattr(port->fd, TCSANOW, &t) != 0) return false;
  if (speed == 0) {
    kernel_termios2 t2{};
    if (ioctl(port->fd, kernel_tcgets2, &t2) != 0) return false;
    t2.c_cflag &= ~kernel_cbaud;
    t2.c_cflag |= kernel_bother;
    t2.c_cflag &= ~(kernel_cbaud << 16);  // input rate follows the output rate field
    t2.c_cflag |= kernel_bother << 16;
    t2.c_ispeed = line.baud;
    t2.c_ospeed = line.baud;
    if (ioctl(port->fd, kernel_tcsets2, &t2) != 0) return false;
  }
  return true;
}

bool port_get_timeouts(port_handle* port, port_timeouts& timeouts) {
  timeouts = port->timeouts;
  return true;
}

bool port_set_timeouts(port_handle* port, const port_timeouts& timeouts) {
  port->timeouts = timeouts;
  return true;
}

// Only the input is discarded. The channel purges at the start of a transaction,
// when its previous frame has already been given its time on the wire; on a
// pseudo-terminal, though, the "wire" is the far end's unread buffer, which an
// output flush would empty, taking back a request the simulated converter has
// not read yet.
bool port_purge(port_handle* port) { return tcflush(port->fd, TCIFLUSH) == 0; }

bool port_input_queue(port_handle* port, uint32_t& bytes) {
  int n = 0;
  if (ioctl(port->fd, FIONREAD, &n) != 0) return false;
  bytes = n > 0 ? static_cast<uint32_t>(n) : 0;
  return true;
}

// COMMTIMEOUTS on reading: interval MAXDWORD with both totals 0 returns at once
// with what is waiting; interval and multiplier MAXDWORD with a constant C waits
// up to C for the first byte and returns as soon as there is one; otherwise the
// read goes on until size bytes, the total time-out (multiplier x size +
// constant, none when both are 0) or a silence longer than the interval
// (counted from the first byte; 0 = none).
bool port_read(port_handle* port, uint8_t* buffer, uint32_t size, uint32_t& got) {
  got = 0;
  if (size == 0) return true;
  const port_timeouts& t = port->timeouts;
  const bool immediate =
      t.read_interval == port_maxdword && t.read_total_multiplier == 0 && t.read_total_constant == 0;
  const bool first_byte = t.read_interval == port_maxdword &&
                          t.read_total_multiplier == port_maxdword &&
                          t.read_total_constant != 0 && t.read_total_constant != port_maxdword;
  int64_t total_ms = -1;
  if (first_byte) {
    total_ms = t.read_total_constant;
  } else if (t.read_total_multiplier != 0 || t.read_total_constant != 0) {
    total_ms = static_cast<int64_t>(t.read_total_multiplier) * size + t.read_total_constant;
  }
  const int64_t until = total_ms < 0 ? -1 : monotonic_ms() + total_ms;
  bool hung_up = false;
  for (;;) {
    ssize_t r = ::read(port->fd, buffer + got, size - got);
    if (r > 0) {
      got += static_cast<uint32_t>(r);
      if (got == size || first_byte) return true;
    } else if (r < 0 && errno != EAGAIN && errno != EINTR) {
      return got > 0;
    } else if (r == 0 && hung_up) {
      // A hung-up tty reads as end of file for ever: a failure, not silence.
      if (got > 0) return true;
      errno = EIO;
      return false;
    }
    if (immediate || (t.read_interval == port_maxdword && !first_byte && got > 0)) return true;
    int64_t wait = -1;
    if (until >= 0) {
      wait = until - monotonic_ms();
      if (wait <= 0) return true;
    }
    if (got > 0 && t.read_interval != 0 && t.read_interval != port_maxdword &&
        (wait < 0 || wait > t.read_interval))
      wait = t.read_interval;
    const int ready = wait_ready(port->fd, POLLIN, wait, &hung_up);
    if (ready < 0) return got > 0;
    if (ready == 0) {
      // Silence: the interval or the total time ran out.
      if (until < 0 || monotonic_ms() >= until || got > 0) return true;
    }
  }
}

bool port_write(port_handle* port, const uint8_t* data, uint32_t size, uint32_t& written) {
  written = 0;
  const port_timeouts& t = port->timeouts;
  int64_t total_ms = -1;
  if (t.write_total_multiplier != 0 || t.write_total_constant != 0)
    total_ms = static_cast<int64_t>(t.write_total_multiplier) * size + t.write_total_constant;
  const int64_t until = total_ms < 0 ? -1 : monotonic_ms() + total_ms;
  while (written < size) {
    ssize_t r = ::write(port->fd, data + written, size - written);
    if (r > 0) {
      written += static_cast<uint32_t>(r);
      continue;
    }
    if (r < 0 && errno != EAGAIN && errno != EINTR) return false;
    int64_t wait = -1;
    if (until >= 0) {
      wait = until - monotonic_ms();
      if (wait <= 0) {
        errno = ETIMEDOUT;
        return false;
      }
    }
    if (wait_ready(port->fd, POLLOUT, wait) < 0) return false;
  }
  return true;
}

bool port_transmit_char(port_handle* port, uint8_t byte) {
  uint32_t written = 0;
  return port_write(port, &byte, 1, written);
}

bool port_escape(port_handle* port, port_line_op op) {
  int bits = (op == port_line_op::set_rts || op == port_line_op::clear_rts) ? TIOCM_RTS : TIOCM_DTR;
  const bool raise = op == port_line_op::set_rts || op == port_line_op::set_dtr;
  return ioctl(port->fd, raise ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool port_counter(int64_t& ticks) {
  timespec ts{};
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
  ticks = static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return true;
}

bool port_counter_frequency(int64_t& per_second) {
  per_second = 1000000000;
  return true;
}

void port_sleep(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Windows priorities map onto the thread's nice value, five steps each; raising
// it needs a privilege most users lack, and then the thread keeps its own. The
// nice value last read is remembered, so that handing back the priority read
// restores it exactly.
namespace {
thread_local int t_read_nice = 0;

int priority_of_nice(int nice_value) {
  const int p = -nice_value / 5;
  return p < -2 ? -2 : (p > 2 ? 2 : p);
}
}  // namespace

int port_thread_priority() {
  errno = 0;
  const int nice_value = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  if (errno != 0) return 0;
  t_read_nice = nice_value;
  return priority_of_nice(nice_value);
}

void port_set_thread_priority(int priority) {
  const int old_errno = errno;
  const int nice_value = priority == priority_of_nice(t_read_nice) ? t_read_nice : -5 * priority;
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice_value);
  errno = old_errno;
}

uint32_t port_last_error() { return static_cast<uint32_t>(errno); }
