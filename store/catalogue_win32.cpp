// The catalogue's folder and the listing of description files on Windows.
#include <windows.h>

#include "store/catalogue.h"
#include "store/catalogue_files.h"

namespace {

bool EndsWithXml(const std::wstring& name) {
  if (name.size() < 4) return false;
  const wchar_t* ext = name.c_str() + name.size() - 4;
  return ext[0] == L'.' && (ext[1] | 0x20) == L'x' && (ext[2] | 0x20) == L'm' && (ext[3] | 0x20) == L'l';
}

}  // namespace

std::filesystem::path ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    // GetModuleFileNameW answers the length copied; a full buffer means the path
    // was cut, so try again with a larger one.
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) break;
    if (n < path.size()) {
      path.resize(n);
      const size_t slash = path.find_last_of(L'\\');
      if (slash == std::wstring::npos) break;
      return std::filesystem::path(path.substr(0, slash));
    }
    if (path.size() >= 32768) break;
    path.resize(path.size() * 2);
  }
  std::error_code ec;
  std::filesystem::path current = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(L".") : current;
}

std::vector<std::filesystem::path> ListDescriptionFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::wstring base = folder.native();
  if (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();  // "C:\"
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((base + L"\\*.xml").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // "*.xml" also matches long names whose short name ends in ".XML", such as
    // "notes.xml.bak"; only real ".xml" files are descriptions.
    const std::wstring name = data.cFileName;
    if (!EndsWithXml(name)) continue;
    files.push_back(std::filesystem::path(base + L"\\" + name));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return files;
}
