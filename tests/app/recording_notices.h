// A user-notice binding for tests: records every box and cursor change instead of
// showing anything.
#pragma once

#include <string>
#include <vector>

#include "common/code_pages.h"
#include "pages/notices.h"

struct RecordedBox {
  WindowHandle owner;
  std::string text;     // converted to UTF-8 for comparison with source literals
  std::string caption;  // likewise
  unsigned style;
};

class RecordingNotices : public UserNotices {
 public:
  int ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                  unsigned style) override {
    boxes.push_back({owner, Cp1251ToUtf8(text), Cp1251ToUtf8(caption), style});
    return 1;
  }
  void Beep(unsigned) override { ++beeps; }
  void SetWaitCursor() override { ++wait_cursors; }
  void RestoreArrowCursor() override { ++arrow_cursors; }
  WindowHandle MainWindow() override { return main_window; }

  WindowHandle main_window = reinterpret_cast<WindowHandle>(0x5EE7);
  std::vector<RecordedBox> boxes;
  int beeps = 0;
  int wait_cursors = 0;
  int arrow_cursors = 0;
};

// Installs a RecordingNotices for the lifetime of a test and leaves the silent
// state off afterwards.
class ScopedNotices {
 public:
  ScopedNotices() { SetUserNotices(&notices); }
  ~ScopedNotices() {
    SetUserNotices(nullptr);
    SetSilentState(false);
  }
  RecordingNotices notices;
};
