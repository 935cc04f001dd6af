// The About box as the user meets it: opened modally, its title carries the
// program's version, its build line the Russian date; OK closes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/about_dlg.h"
#include "common/code_pages.h"
#include "common/resource_ids.h"
#include "tests/support/ui_support_win32.h"

namespace {

// What the timer saw of the box while ShowAboutBox held it open.
struct Seen {
  bool found = false;
  std::wstring caption, title, notice, build;
  bool has_icon = false;
  RECT client{};
  RECT size_in_dlu{0, 0, 235, 69};
  bool ok_clicked = false;
};
Seen g_seen;

std::wstring TextOf(HWND dialog, int id) {
  wchar_t text[512];
  const UINT n = GetDlgItemTextW(dialog, id, text, 512);
  return std::wstring(text, n);
}

// Runs inside the box's modal loop: reads it, then presses OK as the user would.
void CALLBACK InspectAndClose(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ui_test::VisibleDialog();
  if (!dialog) return;
  KillTimer(nullptr, timer);
  g_seen.found = true;
  wchar_t caption[128];
  g_seen.caption.assign(caption, GetWindowTextW(dialog, caption, 128));
  g_seen.title = TextOf(dialog, IDC_ABOUT_TITLE);
  g_seen.notice = TextOf(dialog, IDC_ABOUT_NOTICE);
  g_seen.build = TextOf(dialog, IDC_ABOUT_BUILD);
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageW(c, STM_GETICON, 0, 0))
      g_seen.has_icon = true;
  GetClientRect(dialog, &g_seen.client);
  MapDialogRect(dialog, &g_seen.size_in_dlu);
  HWND ok = GetDlgItem(dialog, IDOK);
  if (ok) {
    g_seen.ok_clicked = true;
    SendMessageW(ok, BM_CLICK, 0, 0);
  }
}

TEST(AboutBox, ShowsTitleWithVersionAndBuildLineAndClosesWithOk) {
  ui_test::TopWindow owner(40, 40, 400, 300);
  g_seen = {};
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, InspectAndClose);
  ASSERT_NE(timer, 0u);
  ShowAboutBox(owner.get());  // returns only once the box has been closed
  KillTimer(nullptr, timer);

  ASSERT_TRUE(g_seen.found);
  EXPECT_TRUE(g_seen.ok_clicked);
  EXPECT_EQ(g_seen.caption, L"О программе...");
  EXPECT_EQ(g_seen.title, L"Конфигуратор KV4T версия 1.0.25");
  EXPECT_FALSE(g_seen.notice.empty());
  EXPECT_TRUE(g_seen.has_icon);
  EXPECT_EQ(g_seen.client.right, g_seen.size_in_dlu.right);
  EXPECT_EQ(g_seen.client.bottom, g_seen.size_in_dlu.bottom);

  // "Скомпилировано hh:mm:ss d <month> yyyy", the month in Russian.
  const std::wstring prefix = L"Скомпилировано ";
  ASSERT_EQ(g_seen.build.compare(0, prefix.size(), prefix), 0) << WideToUtf8(g_seen.build);
  const std::wstring rest = g_seen.build.substr(prefix.size());
  ASSERT_GE(rest.size(), 9u);
  EXPECT_EQ(rest[2], L':');
  EXPECT_EQ(rest[5], L':');
  EXPECT_EQ(rest[8], L' ');
  bool month = false;
  for (const wchar_t* word : {L" января ", L" февраля ", L" марта ", L" апреля ", L" мая ", L" июня ",
                              L" июля ", L" августа ", L" сентября ", L" октября ", L" ноября ",
                              L" декабря "})
    month = month || rest.find(word) != std::wstring::npos;
  EXPECT_TRUE(month) << WideToUtf8(g_seen.build);
}

}  // namespace
