// KV4T_Cfg.exe: the Windows program around the start-up. Its window step is still
// a placeholder that shows nothing (PlaceholderMainWindow below); the property
// sheet takes its place once it is bound to its windows.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <string>

#include "app/startup.h"
#include "device/notices.h"
#include "store/codepage.h"

namespace {

// Stands in for the property sheet: no window, returns at once. The run then goes
// on to save the settings as after a Cancel.
class PlaceholderMainWindow : public MainWindow {
 public:
  void Run(ConverterDevice&, const CommandLineOptions&) override {}
};

// The notices the start-up itself may show, as plain message boxes.
class StartupNotices : public UserNotices {
 public:
  int ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                  unsigned style) override {
    return MessageBoxW(static_cast<HWND>(owner), Cp1251ToWide(text).c_str(),
                       Cp1251ToWide(caption).c_str(), style);
  }
  void Beep(unsigned style) override { MessageBeep(style); }
  // IDC_ names are resource numbers, given as narrow text without UNICODE.
  void SetWaitCursor() override {
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
  }
  void RestoreArrowCursor() override {
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
  }
  WindowHandle MainWindow() override { return nullptr; }
  void FieldCorrected(WindowHandle, CorrectedField, int) override {}
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  StartupNotices notices;
  SetUserNotices(&notices);
  PlaceholderMainWindow window;
  CCfgApp app(window);
  const int exitCode = app.Run(commandLine ? commandLine : L"");
  SetUserNotices(nullptr);
  return exitCode;
}
