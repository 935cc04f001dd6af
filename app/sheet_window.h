// The configurator's main window: CCfgSheet on the Win32 property sheet. The four
// pages are dialogs from the templates IDD_SETTINGS, IDD_RS485, IDD_LOOP and
// IDD_TEST with one dialog procedure that hands their messages to the page logic;
// the sheet's own buttons run the sheet's logic (OK, Cancel, Apply as command
// 12321, Help), not the platform's page validation and apply.
//
// The sheet is modeless and runs in the program's own message loop, so that every
// message passes the balloon tips' mouse filters before the sheet's dialog
// handling sees it (see Loop in sheet_window_win32.cpp).
#pragma once

#include <windows.h>

#include <memory>

#include "app/balloon_tip.h"
#include "app/main_window.h"
#include "app/page_controls.h"
#include "pages/cfg_sheet.h"
#include "pages/sheet_host.h"

class WindowNotices;

class SheetWindow : public MainWindow, private SheetHost {
 public:
  // notices: the binding that learns the sheet's window while it exists.
  explicit SheetWindow(WindowNotices& notices);
  ~SheetWindow() override;
  SheetWindow(const SheetWindow&) = delete;
  SheetWindow& operator=(const SheetWindow&) = delete;

  // Shows the sheet for the device with the command line's placement and returns
  // when it has closed. A line test still running then (the process is asked to
  // quit) is stopped and waited for before the windows go.
  void Run(ConverterDevice& device, const CommandLineOptions& options) override;

 private:
  // One page's window and what it lends the page logic.
  struct PageWindow {
    SheetWindow* sheet = nullptr;
    int index = 0;
    HWND window = nullptr;
    std::unique_ptr<PageControls> controls;
    CBalloonTip tip;
    HFONT protocolFont = nullptr;  // the font of a page's protocol box
  };

  // SheetHost.
  void EnableButton(int button, bool enable) override;
  bool IsButtonEnabled(int button) override;
  void EnableTabs(bool enable) override;
  void SetCursor(Cursor cursor) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned style) override;
  int ActivePage() override { return activePage_; }
  void EndSheet(int result) override;
  WindowHandle Window() override { return window_; }

  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK SheetProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR self);
  static int CALLBACK SheetCallback(HWND window, UINT message, LPARAM lparam);

  // The sheet's window has appeared (with its first page): take its messages.
  void AttachSheet(HWND window);
  // The sheet's own initialisation once the platform's has run.
  void Initialize(const CommandLineOptions& options);
  void Loop();
  // Every message passes the mouse filter of the balloon tip of each window it
  // is for: the page that holds the control, and the sheet.
  void RelayToTips(const MSG& message);

  BOOL OnPageInit(PageWindow& page, HWND window);
  INT_PTR OnPageMessage(PageWindow& page, UINT message, WPARAM wparam, LPARAM lparam);
  // The sheet's messages; answers true when handled (result in *result).
  bool OnSheetMessage(UINT message, WPARAM wparam, LRESULT* result);
  bool OnCommand(int id);
  void PaintIcon();
  // Disabling a control that has the keyboard focus leaves the window without
  // one; the focus goes back when the sheet is idle again.
  void KeepFocus(HWND control, bool enable);

  WindowNotices& notices_;
  CCfgSheet* logic_ = nullptr;
  HWND window_ = nullptr;
  PageWindow pages_[CCfgSheet::kPageCount];
  CBalloonTip tip_;
  HICON icon_ = nullptr;       // the program icon at the system's large size
  HICON smallIcon_ = nullptr;  // and at its small size
  int activePage_ = 0;
  bool ended_ = false;
  HWND focusBeforeBusy_ = nullptr;
};
