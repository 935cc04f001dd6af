// The listing of description files on Windows.
#include <windows.h>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_files.h"

namespace {

bool EndsWithXml(const std::wstring& name) {
  if (name.size() < 4) return false;
  const wchar_t* ext = name.c_str() + name.size() - 4;
  return ext[0] == L'.' && (ext[1] | 0x20) == L'x' && (ext[2] | 0x20) == L'm' && (ext[3] | 0x20) == L'l';
}

}  // namespace

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
