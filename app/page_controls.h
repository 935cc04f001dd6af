// The control layer of one page window: each call is one message to one control
// of the page's dialog (combo box, edit, up-down control, button). Texts are
// program text (Windows-1251) on this side and UTF-16 at the window system.
//
// Every call may come from another thread (the line test's worker): it then runs
// on the window thread, and the caller waits for it (app/window_calls.h).
#pragma once

#include <windows.h>

#include "app/balloon_tip.h"
#include "pages/controls.h"

class PageControls : public ControlLayer {
 public:
  // page: the page's dialog; sheet: the property sheet that hears the page's
  // notifications; tip: the page's balloon tip, which holds its tooltips. All
  // outlive this object's use.
  PageControls(HWND page, HWND sheet, CBalloonTip& tip) : page_(page), sheet_(sheet), tip_(tip) {}

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

 private:
  HWND Control(int id) const { return GetDlgItem(page_, id); }
  LRESULT Send(int id, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    return SendDlgItemMessageW(page_, id, message, wparam, lparam);
  }
  // Runs f on the window thread and answers its result.
  template <typename F>
  auto OnWindowThread(F f) -> decltype(f());

  HWND page_;
  HWND sheet_;
  CBalloonTip& tip_;
};
