// The cursor over the program's windows. The wait cursor stays while a device
// operation runs: the sheet answers WM_SETCURSOR with it until the arrow returns,
// so that moving the mouse does not bring the arrow back in the middle of a
// connection.
#pragma once

#include "pages/controls.h"

// Sets the cursor now and for the sheet's later WM_SETCURSOR. Any thread.
void SetProgramCursor(Cursor cursor);
// Whether the wait cursor is in force.
bool WaitCursorShown();
// Sets the cursor that is in force (for WM_SETCURSOR).
void RestoreProgramCursor();
