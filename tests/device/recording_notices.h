// A user-notice binding for tests: records every box, cursor change and field
// correction instead of showing anything.
#pragma once

#include <functional>
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

struct RecordedCorrection {
  WindowHandle page;
  CorrectedField field;
  int value;
  size_t boxes_before;  // how many boxes had been shown when it was reported
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
  void FieldCorrected(WindowHandle page, CorrectedField field, int value) override {
    corrections.push_back({page, field, value, boxes.size()});
    if (on_correction) on_correction();
  }

  WindowHandle main_window = reinterpret_cast<WindowHandle>(0x5EE7);
  std::vector<RecordedBox> boxes;
  std::vector<RecordedCorrection> corrections;
  // Called after a correction is recorded, while the operation is still running.
  std::function<void()> on_correction;
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
