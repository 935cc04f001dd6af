// Whole-file operations on POSIX hosts.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

#include "common/code_pages.h"
#include "common/file_io.h"

namespace {

bool WriteAll(int fd, const uint8_t* p, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// When the process started, from /proc (Linux): the boot time and the process's
// start in clock ticks after boot. Nothing where /proc does not tell.
std::optional<std::chrono::system_clock::time_point> ProcessStartTime(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return std::nullopt;
  // "pid (name) state ...": the name may hold spaces and parentheses, so the fields
  // are counted from the last ')'. The start time is field 22; the state is 3.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  unsigned long long startTicks = 0;
  for (int n = 3; n <= 22; ++n) {
    if (!(fields >> field)) return std::nullopt;
    if (n == 22) startTicks = std::strtoull(field.c_str(), nullptr, 10);
  }
  std::ifstream procStat("/proc/stat");
  long long bootSeconds = -1;
  while (std::getline(procStat, line))
    if (line.rfind("btime ", 0) == 0) bootSeconds = std::atoll(line.c_str() + 6);
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  if (bootSeconds < 0 || ticksPerSecond <= 0) return std::nullopt;
  const auto sinceBoot = std::chrono::milliseconds(
      static_cast<long long>(startTicks * 1000 / static_cast<unsigned long long>(ticksPerSecond)));
  return std::chrono::system_clock::time_point(std::chrono::seconds(bootSeconds)) + sinceBoot;
}

}  // namespace

FileReadStatus ReadWholeFile(const std::filesystem::path& path, bool forUpdate, size_t maxBytes,
                             std::vector<uint8_t>& data) {
  data.clear();
  // O_NONBLOCK: a named pipe in the file's place is refused below as not a regular
  // file instead of being waited on for a writer.
  int fd = ::open(path.c_str(), (forUpdate ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileReadStatus::kMissing : FileReadStatus::kCannotOpen;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileReadStatus::kCannotOpen;
  }
  if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return FileReadStatus::kTooLarge;
  }
  // Read to the end, whatever the size said, but never beyond the limit.
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return FileReadStatus::kReadError;
    }
    if (n == 0) break;
    if (data.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      return FileReadStatus::kTooLarge;
    }
    data.insert(data.end(), buffer, buffer + n);
  }
  ::close(fd);
  return FileReadStatus::kOk;
}

bool WriteFileReplacing(const std::filesystem::path& link, const void* data, size_t size) {
  // A symbolic link keeps pointing at the file: the file it names is replaced.
  std::error_code ec;
  std::filesystem::path path = link;
  if (std::filesystem::is_symlink(link, ec)) {
    std::filesystem::path target = std::filesystem::weakly_canonical(link, ec);
    if (!ec) path = target;
  }
  RemoveStaleTempFiles(path);
  std::filesystem::path temp;
  int fd = -1;
  for (unsigned attempt = 0; attempt < kTempFileAttempts && fd < 0; ++attempt) {
    temp = NextTempFilePath(path);
    // Owner only until it is complete; the mode is set below.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  // A replaced file keeps its mode, a new one gets the usual mode under the umask.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
    // Make the rename itself durable.
    std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      ::fsync(dfd);
      ::close(dfd);
    }
    return true;
  }
  ::unlink(temp.c_str());
  return false;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ProcessExists(uint32_t pid, std::optional<std::chrono::system_clock::time_point>& started) {
  // kill() takes a pid_t: a larger number would name a process group.
  if (pid == 0 || pid > static_cast<uint32_t>(std::numeric_limits<pid_t>::max())) return true;
  const pid_t id = static_cast<pid_t>(pid);
  // Signal 0 only checks; EPERM is a process of another user.
  if (::kill(id, 0) != 0 && errno == ESRCH) return false;
  started = ProcessStartTime(id);
  return true;
}

std::filesystem::path PathFromCp1251(std::string_view text) {
  return std::filesystem::path(Cp1251ToUtf8(text));
}
