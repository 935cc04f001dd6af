#include "common/program_path.h"

#include <windows.h>

#include <string>
#include <vector>

std::filesystem::path ProgramPath() {
  // The buffer grows until the whole path fits: a cut path would name no file.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    // The length without the terminator; equal to the buffer's size when the path
    // was cut.
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), n));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}
