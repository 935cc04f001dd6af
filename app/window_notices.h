// The user notices bound to the windows: message boxes owned by the given window,
// message-box sounds, the wait cursor and the main window.
//
// A notice from another thread than the main window's (the line test's worker)
// runs on the window thread, and the caller waits for it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "pages/notices.h"

class WindowNotices : public UserNotices {
 public:
  // The sheet, once it exists; null before and after.
  void SetMainWindow(HWND window) { main_ = window; }

  int ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                  unsigned style) override;
  void Beep(unsigned style) override;
  void SetWaitCursor() override;
  void RestoreArrowCursor() override;
  WindowHandle MainWindow() override { return main_; }

 private:
  // Runs call on the main window's thread.
  void OnMainThread(const std::function<void()>& call);

  // Read by the worker, set by the window thread.
  std::atomic<HWND> main_{nullptr};
};
