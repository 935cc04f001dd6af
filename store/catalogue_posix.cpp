// The catalogue's folder, listing and file reading on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "store/catalogue.h"
#include "store/catalogue_files.h"

namespace {

bool EndsWithXml(const std::string& name) {
  if (name.size() < 4) return false;
  const char* ext = name.c_str() + name.size() - 4;
  return ext[0] == '.' && (ext[1] | 0x20) == 'x' && (ext[2] | 0x20) == 'm' && (ext[3] | 0x20) == 'l';
}

}  // namespace

std::filesystem::path ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && program.has_parent_path()) return program.parent_path();
  std::filesystem::path current = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : current;
}

std::vector<std::filesystem::path> ListDescriptionFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return files;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::filesystem::path& path = it->path();
    if (!EndsWithXml(path.filename().native())) continue;
    std::error_code dirEc;
    if (it->is_directory(dirEc)) continue;
    files.push_back(path);
  }
  return files;
}

bool ReadDescriptionFile(const std::filesystem::path& file, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  // Without O_NONBLOCK, opening a named pipe called "*.xml" would wait for a writer
  // forever; it is then refused as not a regular file.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= maxBytes;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    // A file that shrank while being read is taken as far as it went.
    bytes.resize(got);
  }
  ::close(fd);
  return ok;
}
