// What the window tests share: a top-level window to own what they create, a
// message pump with a deadline, the string table as UTF-16, and what they ask of
// the windows a template makes.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace ui_test {

// Pumps the thread's messages until done() holds or the time is up; answers done().
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Pumps messages for the given time, whatever arrives.
inline void PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

// A plain visible top-level window, destroyed with the object.
class TopWindow {
 public:
  TopWindow(int x, int y, int width, int height);
  ~TopWindow() { if (window_) DestroyWindow(window_); }
  TopWindow(const TopWindow&) = delete;
  TopWindow& operator=(const TopWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// A string of the program's string table (the test program links the resources).
std::wstring LoadText(UINT id);

// Screen coordinates of a window's centre.
POINT CentreOf(HWND window);

// A window's class name ("Edit", "ComboBox", ...).
std::wstring ClassOf(HWND window);

// A dialog procedure that only makes the dialog from its template: the controls
// as the template gives them, with no page logic behind them.
INT_PTR CALLBACK TemplateOnlyProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The visible dialog box of this thread (a modal box opened by the code under
// test, found from a timer running in its loop), or null.
HWND VisibleDialog();

}  // namespace ui_test
