// KV4T_Cfg.exe: the Windows program around the start-up, its window step the
// property sheet.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "app/sheet_window.h"
#include "app/startup.h"
#include "app/window_notices.h"
#include "pages/notices.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  // The drop-down lists, edits, up-down controls, tab control and property sheet.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WindowNotices notices;
  SetUserNotices(&notices);
  int exitCode = 0;
  {
    SheetWindow window(notices);
    CCfgApp app(window);
    exitCode = app.Run(commandLine ? commandLine : L"");
  }
  SetUserNotices(nullptr);
  return exitCode;
}
