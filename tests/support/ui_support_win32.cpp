#include "tests/support/ui_support_win32.h"

namespace ui_test {

TopWindow::TopWindow(int x, int y, int width, int height) {
  static const wchar_t kClass[] = L"KV4T_TestTopWindow";
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kClass;
  RegisterClassW(&wc);  // a second registration fails harmlessly
  window_ = CreateWindowExW(0, kClass, L"KV4T test", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
                            x, y, width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window_) UpdateWindow(window_);
}

std::wstring LoadText(UINT id) {
  const wchar_t* text = nullptr;
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, n) : std::wstring();
}

POINT CentreOf(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64];
  const int n = GetClassNameW(window, name, 64);
  return std::wstring(name, n > 0 ? n : 0);
}

INT_PTR CALLBACK TemplateOnlyProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

namespace {

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
  wchar_t cls[16];
  if (GetClassNameW(window, cls, 16) && std::wstring(cls) == L"#32770" && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND VisibleDialog() {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
  return dialog;
}

}  // namespace ui_test
