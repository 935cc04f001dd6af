// The main window's logic: the four pages in tab order and every write into the
// converter. The pages only edit the device's settings sets; Apply, OK and the
// link check of the computer-port page run the device operations here, with the
// window marked busy around them. The property-sheet window itself (buttons, tab
// control, cursor, closing) is reached through SheetHost.
#pragma once

#include "pages/dlg_loop.h"
#include "pages/dlg_page.h"
#include "pages/dlg_rs485.h"
#include "pages/dlg_settings.h"
#include "pages/dlg_test.h"
#include "pages/page_sheet.h"
#include "pages/sheet_host.h"

class ConverterDevice;
struct DeviceOutcome;

class CCfgSheet : public PageSheet {
 public:
  // Tab positions, and how many pages there are.
  enum Tab : int { kSettingsPage, kRs485Page, kLoopPage, kTestPage, kPageCount };

  // Results the sheet is closed with.
  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;

  // The pages are given the device; it is not owned and outlives the sheet.
  explicit CCfgSheet(ConverterDevice* device);
  CCfgSheet(const CCfgSheet&) = delete;
  CCfgSheet& operator=(const CCfgSheet&) = delete;

  // The window lends its host before it is initialised; it outlives the sheet's use.
  void Attach(SheetHost* host) { host_ = host; }

  CDlgPage& Page(int index);
  CDlgSettings& SettingsPage() { return settings_; }
  CDlgRs485& Rs485Page() { return rs485_; }
  CDlgLoop& LoopPage() { return loop_; }
  CDlgTest& TestPage() { return test_; }
  ConverterDevice* Device() const { return device_; }

  // The logic steps of the window's initialisation, after the platform's own (which
  // has created and activated the first page): Apply starts disabled.
  void OnInitDialog();

  // A page's notification (WM_PAGE_BUSY ... WM_PAGE_CLEAN), sent synchronously.
  void OnPageNotification(unsigned notification);

  // The Apply button: the apply of the active page (nothing on the test page).
  bool ApplyActivePage() override;
  // The computer-port page: its address checks, its own apply step, then a
  // connection with the link set, which becomes the stored link set; the RS-485 set
  // follows it unless the RS-485 page holds edits.
  bool ApplyLink();
  // The RS-485 page into the RS-485 set, written into the converter with "APLY".
  bool ApplyRs485();
  // The current-loop page into the loop set, written into the converter.
  bool ApplyLoop();
  // The OK button: the checks of every page whose window exists, the applies of the
  // modified pages, then the sheet closes (also after a failed apply, which has
  // been reported).
  void OnOK();
  // The Cancel button: closes without writing anything.
  void OnCancel();
  // The close box and the system menu's close command: ignored while busy; false
  // when ignored.
  bool OnClose();
  bool CanClose() const { return !busy; }

  // 0: the converter answered at the link set (the port stays open); 2: the RS-485
  // page refused its checks; 1 (-1 in the silent state): no connection.
  int CheckLink() override;
  WindowHandle Window() override;
  // The platform's page-changed notice: enables Apply.
  void PageChanged() override;

  bool busy = false;                // a device operation is running
  bool applyWasEnabled = false;     // Apply's state, kept while busy

 private:
  // A failed apply's message, caption "Ошибка", owned by the sheet (not in the
  // silent state).
  void ReportError(const std::string& text);
  void Busy() { OnPageNotification(WM_PAGE_BUSY); }
  void Idle() { OnPageNotification(WM_PAGE_IDLE); }
  // Connect for an apply: on failure the port is closed, the sheet idle again and
  // the failure reported.
  bool ConnectForApply();
  // The failure of a write after a connection: the port closed, idle, the message.
  bool FailWrite(const DeviceOutcome& written);
  void SetApplyEnabled(bool enabled);

  ConverterDevice* device_;
  SheetHost* host_ = nullptr;
  CDlgSettings settings_;
  CDlgRs485 rs485_;
  CDlgLoop loop_;
  CDlgTest test_;
};
