#include "app/window_notices.h"

#include <functional>

#include "app/program_cursor.h"
#include "app/window_calls.h"
#include "common/code_pages.h"

void WindowNotices::OnMainThread(const std::function<void()>& call) {
  // Before the window exists (and after it has gone) there is no window thread to
  // go to, and the call runs on the caller's.
  if (main_ && IsWindow(main_))
    window_calls::Run(main_, call);
  else
    call();
}

int WindowNotices::ShowMessage(WindowHandle owner, const std::string& text,
                               const std::string& caption, unsigned style) {
  int answer = IDOK;
  OnMainThread([&] {
    answer = MessageBoxW(static_cast<HWND>(owner), Cp1251ToWide(text).c_str(),
                         Cp1251ToWide(caption).c_str(), style);
  });
  return answer;
}

void WindowNotices::Beep(unsigned style) { MessageBeep(style); }

void WindowNotices::SetWaitCursor() {
  OnMainThread([] { SetProgramCursor(Cursor::wait); });
}

void WindowNotices::RestoreArrowCursor() {
  OnMainThread([] { SetProgramCursor(Cursor::arrow); });
}
