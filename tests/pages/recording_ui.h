// A window-free stand-in for the configurator's windows: the control layer of each
// page, the sheet's window and the user notices, all recording into
// one ordered list of what the user would have seen (message boxes, beeps, cursor
// changes, focus moves, notifications to the sheet). A test acts as the user does:
// it chooses list items, types into edits, presses buttons and leaves pages.
//
// Texts are kept as the program keeps them (Windows-1251); everything a test reads
// or gives is UTF-8, so tests compare with source literals. Every call may come
// from any thread (the line test's worker updates its page from its own thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "pages/controls.h"
#include "pages/dlg_page.h"
#include "pages/notices.h"
#include "pages/sheet_host.h"

// One thing the user saw happen, in order.
struct UiEvent {
  enum Kind {
    box,       // a message box: who, text, caption, style
    beep,      // a message-box sound: who, style
    notify,    // a page notification to the sheet: who, code
    cursor,    // the cursor changed: who, code 0 arrow, 1 wait
    focus,     // a control took the focus: who, id
  };
  Kind kind;
  // "page 103" (a page by its template), "sheet" (the sheet's window, also as the
  // owner of a notice), or "device" (a notice owned by another window or none).
  std::string who;
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  unsigned style = 0;
  int code = 0;
  int id = 0;
};

class RecordingUi;

// The recording control layer of one page.
class RecordingControls : public ControlLayer {
 public:
  // Notifications go to `sheet` (the sheet's logic) when set.
  RecordingControls(RecordingUi& ui, CDlgPage& page, PageSheet* sheet = nullptr,
                    std::function<void(PageNotification)> to_sheet = {});

  void ResetItems(int id) override;
  int AddItem(int id, const std::string& text, intptr_t data) override;
  int ItemCount(int id) override;
  std::string ItemText(int id, int index) override;
  intptr_t ItemData(int id, int index) override;
  int GetSelection(int id) override;
  void SetSelection(int id, int index) override;
  int SelectByPrefix(int id, const std::string& prefix) override;
  std::string GetText(int id) override;
  void SetText(int id, const std::string& text) override;
  void SetLogText(int id, const std::string& text) override;
  bool IsEnabled(int id) override;
  void Enable(int id, bool enable) override;
  void Focus(int id) override;
  void Redraw(int id) override;
  void SetSpinRange(int id, int low, int high) override;
  void SetSpinPos(int id, int pos) override;
  int GetSpinPos(int id) override;
  void SetTooltip(int id, int string_id) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned style) override;
  void Beep(unsigned style) override;
  void SetCursor(Cursor cursor) override;
  void NotifySheet(PageNotification notification) override;

  // The page's window appears (OnInitDialog), becomes the active tab (OnSetActive),
  // is left (OnKillActive: false keeps it). Created, the controls hold only what
  // the dialog template gives them (the buttons' captions); the rest is the page's.
  bool Create();
  bool Activate();
  bool Leave();

  // The user's actions. Each answers false, doing nothing, when the control is
  // disabled or (Choose) holds no such item.
  bool Choose(int id, int index);
  bool ChooseText(int id, const std::string& utf8);  // the item with exactly this text
  bool Type(int id, const std::string& utf8);        // replaces the edit's text
  bool Press(int id);
  bool SpinTo(int spin, int pos);                    // the arrows moved the spin to pos

  // What the user sees (UTF-8).
  std::string Text(int id);
  std::vector<std::string> Items(int id);
  std::string Selected(int id);  // the selected item's text, "" with none
  int Selection(int id) { return GetSelection(id); }
  bool Enabled(int id) { return IsEnabled(id); }
  std::pair<int, int> SpinRange(int id);
  int SpinPos(int id) { return GetSpinPos(id); }
  int FocusedControl();
  int Tooltip(int id);  // the string id the page last registered for it, 0 for none
  int Redraws(int id);

  CDlgPage& page() { return page_; }

 private:
  struct Item {
    std::string text;
    intptr_t data;
  };
  struct Control {
    std::vector<Item> items;
    int selection = -1;
    std::string text;
    bool enabled = true;
    int low = 0, high = 100, pos = 0;
    int tooltip = 0;
    int redraws = 0;
  };
  Control& At(int id);  // under mutex_
  const ControlDef* Def(int id) const;
  void Dispatch(int id, ControlEvent event);
  std::string Who() const;

  RecordingUi& ui_;
  CDlgPage& page_;
  std::function<void(PageNotification)> toSheet_;
  std::mutex mutex_;
  std::map<int, Control> controls_;
  int focus_ = 0;
};

// The sheet's window, recorded.
class RecordingSheetHost : public SheetHost {
 public:
  explicit RecordingSheetHost(RecordingUi& ui) : ui_(ui) {}
  void EnableButton(int button, bool enable) override;
  bool IsButtonEnabled(int button) override;
  void EnableTabs(bool enable) override { tabs_ = enable; }
  void SetCursor(Cursor cursor) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned style) override;
  int ActivePage() override { return active_; }
  void EndSheet(int result) override { result_ = result; }
  WindowHandle Window() override;

  void SetActivePage(int index) { active_ = index; }
  bool TabsEnabled() { return tabs_; }
  int Result() { return result_; }  // 0 while open, else the result it was closed with

 private:
  RecordingUi& ui_;
  std::mutex mutex_;
  std::map<int, bool> buttons_;
  std::atomic<bool> tabs_{true};
  std::atomic<int> active_{0};
  std::atomic<int> result_{0};
};

// The shared record, and the user notices while it lives.
class RecordingUi : public UserNotices {
 public:
  RecordingUi();
  ~RecordingUi() override;

  int ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                  unsigned style) override;
  void Beep(unsigned style) override;
  void SetWaitCursor() override;
  void RestoreArrowCursor() override;
  WindowHandle MainWindow() override { return kSheetWindow; }

  void Record(UiEvent event);
  // Called with each event as it is recorded, on the thread that recorded it, while
  // the operation that caused it is still running.
  std::function<void(const UiEvent&)> onRecord;
  std::vector<UiEvent> Events();
  std::vector<UiEvent> Boxes();  // every message box, from whoever showed it
  void Clear();

  // The handle that stands for the sheet's window.
  static inline WindowHandle const kSheetWindow = reinterpret_cast<WindowHandle>(0x5EE7);

 private:
  std::mutex mutex_;
  std::vector<UiEvent> events_;
};
