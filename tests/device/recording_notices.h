// A user-notice binding for tests: records every box, cursor change and control
// update instead of showing anything.
#pragma once

#include <string>
#include <vector>

#include "device/notices.h"
#include "store/codepage.h"

struct RecordedBox {
  WindowHandle owner;
  std::string text;     // converted to UTF-8 for comparison with source literals
  std::string caption;  // likewise
  unsigned style;
};

struct RecordedControl {
  WindowHandle page;
  int control_id;
  int value;  // SetControlInt's value; -1 for a focus change
  bool focus;
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
  void SetControlInt(WindowHandle page, int control_id, int value) override {
    controls.push_back({page, control_id, value, false});
  }
  void FocusControl(WindowHandle page, int control_id) override {
    controls.push_back({page, control_id, -1, true});
  }

  WindowHandle main_window = reinterpret_cast<WindowHandle>(0x5EE7);
  std::vector<RecordedBox> boxes;
  std::vector<RecordedControl> controls;
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
