// What only the sheet's window does, for the sheet's logic: its buttons, its tab
// control, the cursor, its own message boxes and closing. The Win32 property sheet
// implements it thinly; the tests record it.
#pragma once

#include <string>

#include "pages/controls.h"
#include "pages/notices.h"

// The sheet's buttons, by their command ids.
enum SheetButton : int {
  kSheetOk = 1,          // IDOK
  kSheetCancel = 2,      // IDCANCEL
  kSheetApply = 12321,   // the Apply button's command id
};

class SheetHost {
 public:
  virtual ~SheetHost() = default;
  virtual void EnableButton(int button, bool enable) = 0;
  virtual bool IsButtonEnabled(int button) = 0;
  virtual void EnableTabs(bool enable) = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  // A modal message box owned by the sheet; answers the button pressed.
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned style) = 0;
  // Index of the active page, in tab order from 0.
  virtual int ActivePage() = 0;
  // Closes the sheet with the given result (1 OK, 2 Cancel).
  virtual void EndSheet(int result) = 0;
  // The sheet's window, owner of the device operations' boxes.
  virtual WindowHandle Window() = 0;
};
