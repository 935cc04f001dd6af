#include "app/program_cursor.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> g_wait{false};

// IDC_ names are resource numbers, given as narrow text without UNICODE.
HCURSOR SystemCursor(Cursor cursor) {
  return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(cursor == Cursor::wait ? IDC_WAIT : IDC_ARROW));
}

}  // namespace

void SetProgramCursor(Cursor cursor) {
  g_wait = cursor == Cursor::wait;
  SetCursor(SystemCursor(cursor));
}

bool WaitCursorShown() { return g_wait; }

void RestoreProgramCursor() { SetCursor(SystemCursor(g_wait ? Cursor::wait : Cursor::arrow)); }
