// User notices: the one place where the configurator shows a message box that no
// page's control layer owns, beeps, or switches the cursor (the device errors of
// the sheet's applies, the address correction of the RS-485 write, the start-up's
// fatal error). The layers below the windows show nothing: they hand back
// outcomes, and the sheet and the pages show them through these notices or their
// control layers. Owners are opaque handles (an HWND in the Windows binding,
// anything a test likes elsewhere). The application installs its binding at
// start-up; until it does, a quiet binding that shows nothing is in force.
//
// All texts are program text: 8-bit Windows-1251. The binding converts them at
// the window system's calls.
//
// The silent state (a configuration file named on the command line together with
// the "silent" switch) suppresses the device error boxes. It is honoured here, in
// ShowDeviceError, so that no caller has to remember it; boxes that must appear
// even then (the address correction) go through ShowMessage directly.
#pragma once

#include <string>

#include "common/notice_styles.h"

// An opaque window handle; null means "no owner".
using WindowHandle = void*;

class UserNotices {
 public:
  virtual ~UserNotices() = default;

  // A modal message box owned by owner (none when null). Returns the button
  // pressed as the window system reports it (IDOK = 1 for a plain box).
  virtual int ShowMessage(WindowHandle owner, const std::string& text,
                          const std::string& caption, unsigned style) = 0;
  // A system beep of the given message-box sound (style as above, 0 = default).
  virtual void Beep(unsigned style) = 0;
  virtual void SetWaitCursor() = 0;
  virtual void RestoreArrowCursor() = 0;
  // The application's main window (the property sheet), or null.
  virtual WindowHandle MainWindow() = 0;
};

// A binding that shows nothing and answers IDOK; in force until the application
// installs its own.
class QuietNotices : public UserNotices {
 public:
  int ShowMessage(WindowHandle, const std::string&, const std::string&, unsigned) override {
    return 1;
  }
  void Beep(unsigned) override {}
  void SetWaitCursor() override {}
  void RestoreArrowCursor() override {}
  WindowHandle MainWindow() override { return nullptr; }
};

// The binding in force. SetUserNotices(nullptr) returns to the quiet one. The
// binding is not owned; it must outlive its use.
UserNotices& Notices();
void SetUserNotices(UserNotices* notices);

// The command line's silent state (set once at start-up).
bool SilentState();
void SetSilentState(bool silent);

// A device error box: restores the arrow cursor, then, unless the silent state is
// on, shows text with the error icon and the given caption, owned by owner.
void ShowDeviceError(WindowHandle owner, const std::string& text, const std::string& caption);
