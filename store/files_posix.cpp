// Whole-file operations on POSIX hosts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "store/codepage.h"
#include "store/files.h"

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
  std::string temp = path.string() + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // mkstemp creates the file for the owner only; a replaced file keeps its mode,
  // a new one gets the usual mode under the umask.
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

std::filesystem::path PathFromCp1251(std::string_view text) {
  return std::filesystem::path(Cp1251ToUtf8(text));
}
