#include "app/html_help.h"

#include <windows.h>

#include "common/program_path.h"

namespace {

// HtmlHelpW of hhctrl.ocx; MinGW has no import library for it, so it is found at
// run time.
using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
constexpr UINT kHhDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
constexpr wchar_t kFirstTopic[] = L"::/000.htm";

HtmlHelpFunction HtmlHelpEntry() {
  // Loaded once and kept: the viewer's window lives on in this process after the
  // call returns.
  static const HtmlHelpFunction entry = [] {
    HMODULE viewer = LoadLibraryW(L"hhctrl.ocx");
    return viewer ? reinterpret_cast<HtmlHelpFunction>(
                        reinterpret_cast<void*>(GetProcAddress(viewer, "HtmlHelpW")))
                  : nullptr;
  }();
  return entry;
}

}  // namespace

std::wstring ProgramHelpPath() {
  std::wstring path = ProgramPath().native();
  if (path.empty()) return path;
  const size_t name = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos && (name == std::wstring::npos || dot > name)) path.erase(dot);
  return path + L".CHM";
}

void ShowProgramHelp() {
  const std::wstring file = ProgramHelpPath();
  if (file.empty() || GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  HtmlHelpFunction help = HtmlHelpEntry();
  if (!help) return;
  help(GetDesktopWindow(), (file + kFirstTopic).c_str(), kHhDisplayTopic, 0);
}
