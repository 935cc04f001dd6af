// The adaptor on Linux: sysfs tells the tty's driver, the USB device above it and
// the FTDI latency timer; the serial driver takes ASYNC_LOW_LATENCY through
// TIOCSSERIAL.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "cli/adaptor.h"
#include "common/text_format.h"

namespace {

namespace fs = std::filesystem;

// A sysfs attribute's first line, without its line end; empty when unreadable.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

int NumberAttribute(const fs::path& file) {
  const std::string text = Attribute(file);
  if (text.empty() || text.size() > 6) return -1;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0' && value >= 0 ? static_cast<int>(value) : -1;
}

// A link's target, made absolute against the link's folder; empty when path is
// no symbolic link.
fs::path LinkTarget(const fs::path& path) {
  std::error_code error;
  fs::path target = fs::read_symlink(path, error);
  if (error) return {};
  if (target.is_relative()) target = path.parent_path() / target;
  return target.lexically_normal();
}

fs::path TtyFolder(const std::string& root, const std::string& name) {
  return fs::path(root) / "sys" / "class" / "tty" / name;
}

// Where the FTDI driver keeps the latency timer of the tty.
fs::path LatencyFile(const std::string& root, const std::string& tty) {
  return TtyFolder(root, tty) / "device" / "latency_timer";
}

// What Begin changed, for End to put back; one session at a time.
struct Session {
  bool begun = false;
  int fd = -1;
  bool flag_set = false;
  fs::path timer_file;
  int timer_before = -1;
  bool timer_written = false;
};
Session g_session;

bool WriteTimer(const fs::path& file, int ms, int& error) {
  // sysfs takes the value in one write; open, write and close return -1 with
  // errno on failure (EACCES for a user the attribute's mode leaves out).
  const std::string text = std::to_string(ms) + "\n";
  // O_TRUNC as a shell's redirection does: sysfs ignores it, a plain file needs it.
  const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return false;
  }
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (!written) error = errno;
  if (::close(fd) != 0 && written) {
    error = errno;
    return false;
  }
  return written;
}

}  // namespace

std::string AdaptorRoot() {
  const char* root = std::getenv("KV4T_SYS_ROOT");
  return root && *root ? root : "/";
}

AdaptorInfo DescribeAdaptor(const std::string& device_path) {
  return DescribeAdaptor(device_path, AdaptorRoot());
}

AdaptorInfo DescribeAdaptor(const std::string& device_path, const std::string& root) {
  AdaptorInfo info;
  // A name from /dev/serial/by-id or the ports folder leads to the device node
  // through links: each name on the way is tried as the kernel's.
  fs::path current = device_path;
  for (int hop = 0; hop < 16 && !current.empty(); ++hop) {
    const std::string name = current.filename().string();
    std::error_code error;
    if (!name.empty() && name != "." && name != ".." && fs::is_directory(TtyFolder(root, name), error)) {
      info.tty = name;
      break;
    }
    current = LinkTarget(current);
  }
  if (info.tty.empty()) return info;

  std::error_code error;
  const fs::path device = fs::canonical(TtyFolder(root, info.tty) / "device", error);
  if (!error) {
    info.driver = LinkTarget(device / "driver").filename().string();
    info.latency_timer_ms = NumberAttribute(device / "latency_timer");
    // The USB device is a few folders up: the port, its interface, the device.
    fs::path up = device;
    for (int level = 0; level < 5 && up.has_relative_path(); ++level, up = up.parent_path()) {
      if (!fs::exists(up / "idVendor", error)) continue;
      info.usb = true;
      info.vendor_id = Attribute(up / "idVendor");
      info.product_id = Attribute(up / "idProduct");
      info.manufacturer = Attribute(up / "manufacturer");
      info.product = Attribute(up / "product");
      info.serial = Attribute(up / "serial");
      break;
    }
  }
  const fs::path by_id = fs::path(root) / "dev" / "serial" / "by-id";
  for (fs::directory_iterator it(by_id, error), end; !error && it != end; it.increment(error))
    if (LinkTarget(it->path()).filename() == info.tty)
      info.by_id.push_back(it->path().filename().string());
  return info;
}

std::string BeginLowLatency(const std::string& device_path) {
  Session& s = g_session;
  if (s.begun) return {};
  s = Session{};
  s.begun = true;
  const std::string root = AdaptorRoot();
  const AdaptorInfo adaptor = DescribeAdaptor(device_path, root);
  // A descriptor of our own, kept to the end of the run: the channel's one is
  // closed before the old setting is put back, and then the port may already be
  // held exclusively by someone else.
  s.fd = ::open(device_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (s.fd < 0)
    return Format("режим малой задержки не включён: порт не открылся (%s)", std::strerror(errno));

  std::string done;
  std::string refused;
  serial_struct serial{};
  // TIOCGSERIAL/TIOCSSERIAL return -1 with errno on failure; a pseudo-terminal
  // knows neither (ENOTTY). ASYNC_LOW_LATENCY is one of the flags an ordinary
  // user may set; the FTDI driver answers it with a latency timer of 1 ms.
  if (ioctl(s.fd, TIOCGSERIAL, &serial) != 0) {
    refused = Format("TIOCGSERIAL: %s", std::strerror(errno));
  } else if (serial.flags & ASYNC_LOW_LATENCY) {
    done = "флаг ASYNC_LOW_LATENCY уже был установлен";
  } else {
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(s.fd, TIOCSSERIAL, &serial) == 0) {
      s.flag_set = true;
      done = "флаг ASYNC_LOW_LATENCY установлен";
    } else {
      refused = Format("TIOCSSERIAL: %s", std::strerror(errno));
    }
  }
  if (adaptor.ftdi() && adaptor.latency_timer_ms >= 0) {
    const fs::path file = LatencyFile(root, adaptor.tty);
    s.timer_file = file;
    s.timer_before = adaptor.latency_timer_ms;
    int now_ms = NumberAttribute(file);
    int error = 0;
    if (now_ms > 1 && WriteTimer(file, 1, error)) {
      s.timer_written = true;
      now_ms = NumberAttribute(file);
    }
    else if (now_ms > 1)
      refused += Format("%slatency_timer: %s", refused.empty() ? "" : "; ", std::strerror(error));
    if (now_ms >= 0)
      done += Format("%sтаймер задержки %d мс (было %d)", done.empty() ? "" : ", ", now_ms,
                     s.timer_before);
  }
  if (refused.empty()) return "режим малой задержки на время работы: " + done;
  if (done.empty()) return "система отказала в режиме малой задержки (" + refused + ")";
  return "режим малой задержки на время работы: " + done + "; система отказала в остальном (" +
         refused + ")";
}

std::string EndLowLatency() {
  Session& s = g_session;
  if (!s.begun) return {};
  // Nothing changed (refused, or already so): nothing to put back or tell.
  if (s.fd < 0 || (!s.flag_set && !s.timer_written)) {
    if (s.fd >= 0) ::close(s.fd);
    s = Session{};
    return {};
  }
  std::string stays;
  if (s.flag_set) {
    serial_struct serial{};
    bool cleared = ioctl(s.fd, TIOCGSERIAL, &serial) == 0;
    if (cleared) {
      serial.flags &= ~ASYNC_LOW_LATENCY;
      cleared = ioctl(s.fd, TIOCSSERIAL, &serial) == 0;
    }
    if (!cleared)
      stays = Format("флаг ASYNC_LOW_LATENCY остаётся установленным (%s)", std::strerror(errno));
  }
  if (s.timer_before >= 0) {
    int now_ms = NumberAttribute(s.timer_file);
    int error = 0;
    // Clearing the flag gives the FTDI driver's default back, which may not be
    // what the timer was.
    if (now_ms != s.timer_before && WriteTimer(s.timer_file, s.timer_before, error))
      now_ms = NumberAttribute(s.timer_file);
    const std::string why = error != 0 ? std::strerror(error) : "драйвер не принял прежнее значение";
    if (now_ms != s.timer_before)
      stays += (stays.empty() ? "" : "; ") +
               (now_ms >= 0 ? Format("таймер задержки остаётся %d мс (было %d) до отключения "
                                     "адаптера (%s)",
                                     now_ms, s.timer_before, why.c_str())
                            : Format("таймер задержки не восстановлен (было %d мс): %s",
                                     s.timer_before, why.c_str()));
  }
  ::close(s.fd);
  s = Session{};
  if (stays.empty()) return "режим малой задержки выключен, прежние настройки порта восстановлены";
  return "режим малой задержки: " + stays;
}
