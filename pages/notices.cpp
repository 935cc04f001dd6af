#include "pages/notices.h"

#include <atomic>

namespace {

QuietNotices g_quiet;
std::atomic<UserNotices*> g_notices{nullptr};
std::atomic<bool> g_silent{false};

}  // namespace

UserNotices& Notices() {
  UserNotices* notices = g_notices.load();
  return notices ? *notices : g_quiet;
}

void SetUserNotices(UserNotices* notices) { g_notices.store(notices); }

bool SilentState() { return g_silent.load(); }

void SetSilentState(bool silent) { g_silent.store(silent); }

void ShowDeviceError(WindowHandle owner, const std::string& text, const std::string& caption) {
  UserNotices& notices = Notices();
  notices.RestoreArrowCursor();
  if (!SilentState()) notices.ShowMessage(owner, text, caption, kNoticeIconError);
}
