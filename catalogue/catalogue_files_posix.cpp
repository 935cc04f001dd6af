// The listing of description files on Linux.
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_files.h"

namespace {

bool EndsWithXml(const std::string& name) {
  if (name.size() < 4) return false;
  const char* ext = name.c_str() + name.size() - 4;
  return ext[0] == '.' && (ext[1] | 0x20) == 'x' && (ext[2] | 0x20) == 'm' && (ext[3] | 0x20) == 'l';
}

}  // namespace

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
