// The computer's end of the simulator's line: opens the pseudo-terminal's slave,
// sets its line settings with termios, writes requests and reads answers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using sim_bytes = std::vector<std::uint8_t>;

inline sim_bytes as_bytes(const std::string& s) { return sim_bytes(s.begin(), s.end()); }
inline std::string as_text(const sim_bytes& b) { return std::string(b.begin(), b.end()); }

class SimLine {
 public:
  explicit SimLine(const std::string& path) { fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); }
  ~SimLine() {
    if (fd_ >= 0) close(fd_);
  }
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Raw mode at baud (standard rates only), bits 7/8, parity 'N' 'E' 'O', stop bits 1/2.
  bool set(int baud, int bits = 8, char parity = 'N', int stop_bits = 1) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return false;
    cfmakeraw(&t);
    speed_t sp = B9600;
    switch (baud) {
      case 2400: sp = B2400; break;
      case 4800: sp = B4800; break;
      case 9600: sp = B9600; break;
      case 19200: sp = B19200; break;
      case 38400: sp = B38400; break;
      case 57600: sp = B57600; break;
      case 115200: sp = B115200; break;
      default: return false;
    }
    cfsetispeed(&t, sp);
    cfsetospeed(&t, sp);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= (bits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
    if (parity != 'N') t.c_cflag |= PARENB | (parity == 'O' ? PARODD : 0);
    if (stop_bits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    // A pseudo-terminal drops the word length and parity enable, and glibc reports
    // that as a failure; what counts here is that the rest took effect.
    (void)tcsetattr(fd_, TCSANOW, &t);
    termios now{};
    if (tcgetattr(fd_, &now) != 0 || cfgetospeed(&now) != sp || ((now.c_cflag & CSTOPB) != 0) != (stop_bits == 2))
      return false;
    return tcflush(fd_, TCIOFLUSH) == 0;
  }

  bool write_bytes(const sim_bytes& b) { return ::write(fd_, b.data(), b.size()) == static_cast<ssize_t>(b.size()); }
  bool write_text(const std::string& s) { return write_bytes(as_bytes(s)); }

  // Reads until `done` says the bytes so far are complete, or timeout_ms passes.
  template <class Done>
  sim_bytes read_until(Done done, int timeout_ms) {
    sim_bytes got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done(got)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      std::uint8_t buf[512];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  // A RAVIK answer: up to and including the carriage return.
  sim_bytes read_ravik(int timeout_ms = 1000) {
    return read_until([](const sim_bytes& b) { return !b.empty() && b.back() == '\r'; }, timeout_ms);
  }
  sim_bytes read_count(std::size_t n, int timeout_ms = 1000) {
    return read_until([n](const sim_bytes& b) { return b.size() >= n; }, timeout_ms);
  }
  // What one read() returns once anything has arrived within timeout_ms: bytes the
  // other end wrote at once arrive together.
  sim_bytes read_once(int timeout_ms = 1000) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return {};
    std::uint8_t buf[1024];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    return n > 0 ? sim_bytes(buf, buf + n) : sim_bytes{};
  }
  // Everything that arrives within ms (for checking silence).
  sim_bytes read_for(int ms) {
    return read_until([](const sim_bytes&) { return false; }, ms);
  }

 private:
  int fd_ = -1;
};
