// User notices: the one place where the configurator's layers below the windows
// show a message box, beep, switch the cursor or tell the page that asked for an
// operation that a value it shows was changed. The device layer knows no window
// system and no page's controls: owners and pages are opaque handles (an HWND in
// the Windows binding, anything a test likes elsewhere). The application installs
// its binding at start-up; until it does, a quiet binding that shows nothing is in
// force.
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

// An opaque window handle; null means "no owner".
using WindowHandle = void*;

// Message box styles, with the values of the Windows MB_ constants so that the
// Windows binding can pass them through unchanged.
enum : unsigned {
  kNoticeOk = 0x00000000u,               // MB_OK
  kNoticeIconError = 0x00000010u,        // MB_ICONERROR / MB_ICONHAND
  kNoticeIconQuestion = 0x00000020u,     // MB_ICONQUESTION
  kNoticeIconWarning = 0x00000030u,      // MB_ICONWARNING / MB_ICONEXCLAMATION
  kNoticeIconInformation = 0x00000040u,  // MB_ICONINFORMATION
};

// A value a device operation replaced by another before using it.
enum class CorrectedField {
  kRs485Address,  // the converter's network address in the RS-485 set
};

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
  // The operation that `page` asked for replaced `field` by `value` (the settings
  // record already holds it): the page shows the value and lets the user go on
  // from the field.
  virtual void FieldCorrected(WindowHandle page, CorrectedField field, int value) = 0;
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
  void FieldCorrected(WindowHandle, CorrectedField, int) override {}
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
