#include "loader.h"

#include <windows.h>

namespace pargo_test {

namespace {

// Library and symbol names are ASCII.
std::wstring widen(const char* text) {
  std::wstring wide;
  for (; *text != '\0'; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

}  // namespace

shared_library::shared_library(const char* name) {
  handle_ = LoadLibraryW(widen(name).c_str());
  if (handle_ == nullptr) error_ = "LoadLibraryW failed with error " + std::to_string(GetLastError());
}

shared_library::~shared_library() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

any_function shared_library::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<any_function>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string shared_library::file_name() const {
  if (handle_ == nullptr) return {};
  wchar_t path[MAX_PATH];
  // GetModuleFileNameW answers the length copied, 0 on failure.
  DWORD length = GetModuleFileNameW(static_cast<HMODULE>(handle_), path, MAX_PATH);
  std::string narrow;
  for (DWORD i = 0; i < length; ++i) narrow += path[i] < 0x80 ? static_cast<char>(path[i]) : '?';
  return narrow;
}

}  // namespace pargo_test
