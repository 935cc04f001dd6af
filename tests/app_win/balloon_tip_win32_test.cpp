// The balloon tip as a window: shown for a registered control after the mouse has
// rested on it, shaped as a body with a pointer whose tip is on the cursor, hidden
// by a click or when the cursor leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

#include "app/balloon_tip.h"
#include "common/resource_ids.h"
#include "tests/support/ui_support_win32.h"

namespace {

using namespace std::chrono_literals;
using ui_test::PumpUntil;

class BalloonTipWindow : public ::testing::Test {
 protected:
  // One owner with two buttons for the suite: Wine takes its time to map and
  // unmap a top-level window.
  static void SetUpTestSuite() {
    owner_ = new ui_test::TopWindow(100, 200, 500, 200);
    // The window tests beside this one put their windows on the same screen: on top of
    // them all, the buttons stay the windows under the pointer.
    SetWindowPos(owner_->get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    button_ = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20, 20, 120, 40,
                              owner_->get(), nullptr, GetModuleHandleW(nullptr), nullptr);
    other_ = CreateWindowExW(0, L"BUTTON", L"Other", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 200, 20, 120, 40,
                             owner_->get(), nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  static void TearDownTestSuite() {
    delete owner_;
    owner_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(owner_->get(), nullptr);
    ASSERT_TRUE(tip_.Create(owner_->get()));
    tip_.SetDelay(50);
  }

  // The mouse moves to p: the message loop would hand the control's
  // WM_MOUSEMOVE to the filter.
  void MoveTo(POINT p, HWND over) {
    SetCursorPos(p.x, p.y);
    MSG msg{over, WM_MOUSEMOVE, 0, 0, GetTickCount(), p};
    tip_.RelayEvent(msg);
  }

  bool Shown() { return IsWindowVisible(tip_.Window()) != FALSE; }

  // The text's extent in the tip's font, measured as the tip does.
  SIZE TextExtent(const std::wstring& text) {
    HDC dc = GetDC(tip_.Window());
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(tip_.Window(), dc);
    return {r.right - r.left, r.bottom - r.top};
  }

  static ui_test::TopWindow* owner_;
  static HWND button_;
  static HWND other_;
  CBalloonTip tip_;
};

ui_test::TopWindow* BalloonTipWindow::owner_ = nullptr;
HWND BalloonTipWindow::button_ = nullptr;
HWND BalloonTipWindow::other_ = nullptr;

TEST_F(BalloonTipWindow, HiddenPopupWithTheDefaultGuiFont) {
  HWND w = tip_.Window();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(IsWindowVisible(w));
  const LONG style = GetWindowLongW(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_BORDER | WS_CAPTION | WS_CHILD));
  EXPECT_EQ(GetWindow(w, GW_OWNER), owner_->get());
}

TEST_F(BalloonTipWindow, ShownWithItsPointerTipOnTheCursor) {
  tip_.AddTip(button_, IDS_TIP_OK);
  const POINT cursor = ui_test::CentreOf(button_);
  MoveTo(cursor, button_);
  EXPECT_FALSE(Shown());  // not before the delay
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));

  const SIZE text = TextExtent(ui_test::LoadText(IDS_TIP_OK));
  RECT window;
  GetWindowRect(tip_.Window(), &window);
  EXPECT_EQ(window.right - window.left, text.cx + 24);
  EXPECT_EQ(window.bottom - window.top, text.cy + 45);
  const int body_w = text.cx + 24;
  const int body_h = text.cy + 20;
  EXPECT_EQ(window.left + body_w - 12, cursor.x);
  EXPECT_EQ(window.top + body_h + 15, cursor.y);

  // The region: the body and the pointer down to its tip, nothing else.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(tip_.Window(), region), ERROR);
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, body_w);
  EXPECT_GE(box.bottom, body_h + 14);
  EXPECT_LE(box.bottom, body_h + 16);
  EXPECT_TRUE(PtInRegion(region, body_w / 2, body_h / 2));
  EXPECT_TRUE(PtInRegion(region, body_w - 13, body_h + 5));   // in the pointer
  EXPECT_FALSE(PtInRegion(region, 2, body_h + 5));            // left of it
  EXPECT_FALSE(PtInRegion(region, body_w - 30, body_h + 12)); // beside its point
  DeleteObject(region);
}

TEST_F(BalloonTipWindow, MovingKeepsPostponingTheTip) {
  tip_.SetDelay(1000);
  tip_.AddTip(button_, IDS_TIP_OK);
  POINT p = ui_test::CentreOf(button_);
  p.x -= 30;
  for (int i = 0; i < 10; ++i) {
    MoveTo(p, button_);
    ui_test::PumpFor(50ms);
    EXPECT_FALSE(Shown()) << "after move " << i;
    p.x += 5;
  }
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
}

TEST_F(BalloonTipWindow, AClickHidesItAtOnce) {
  tip_.AddTip(button_, IDS_TIP_OK);
  MoveTo(ui_test::CentreOf(button_), button_);
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  for (UINT button : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
    MSG msg{button_, button, 0, 0, GetTickCount(), ui_test::CentreOf(button_)};
    tip_.RelayEvent(msg);
    EXPECT_FALSE(Shown());
    // The mouse rests again: the tip comes back.
    POINT p = ui_test::CentreOf(button_);
    p.y += (button == WM_RBUTTONDOWN) ? 3 : -3;
    MoveTo(p, button_);
    ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  }
}

TEST_F(BalloonTipWindow, LeavingTheControlHidesIt) {
  tip_.AddTip(button_, IDS_TIP_OK);
  MoveTo(ui_test::CentreOf(button_), button_);
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  // Onto a control without a tip: hidden at once.
  MoveTo(ui_test::CentreOf(other_), other_);
  EXPECT_FALSE(Shown());

  // The cursor leaves without a message the filter sees: the watch notices.
  POINT back = ui_test::CentreOf(button_);
  back.x += 4;  // the point the tip was shown for is its anchor still
  MoveTo(back, button_);
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  SetCursorPos(10, 10);
  EXPECT_TRUE(PumpUntil([&] { return !Shown(); }, 3s));
}

TEST_F(BalloonTipWindow, AnotherControlsTipReplacesTheShownOne) {
  tip_.AddTip(button_, IDS_TIP_OK);
  tip_.AddTip(other_, IDS_TIP_CANCEL);
  MoveTo(ui_test::CentreOf(button_), button_);
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  const int first_width = tip_.Shape().width;
  MoveTo(ui_test::CentreOf(other_), other_);
  EXPECT_FALSE(Shown());  // the old text is not left standing
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  EXPECT_EQ(tip_.Shape().width, TextExtent(ui_test::LoadText(IDS_TIP_CANCEL)).cx + 24);
  EXPECT_NE(tip_.Shape().width, first_width);
}

TEST_F(BalloonTipWindow, AStringIdWithoutTextShowsAnEmptyBalloon) {
  tip_.AddTip(button_, 999);
  MoveTo(ui_test::CentreOf(button_), button_);
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  RECT window;
  GetWindowRect(tip_.Window(), &window);
  EXPECT_EQ(window.right - window.left, 24);
}

TEST_F(BalloonTipWindow, AnIconWidensTheBody) {
  HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                             IMAGE_ICON, 16, 16, 0));
  ASSERT_NE(icon, nullptr);
  tip_.AddTip(button_, IDS_TIP_OK, icon);
  MoveTo(ui_test::CentreOf(button_), button_);
  ASSERT_TRUE(PumpUntil([&] { return Shown(); }, 3s));
  const SIZE text = TextExtent(ui_test::LoadText(IDS_TIP_OK));
  EXPECT_EQ(tip_.Shape().width, text.cx + 24 + 16 + 5);
  EXPECT_EQ(tip_.Shape().text_left, 16 + 17);
  tip_.Hide();
  DestroyIcon(icon);
}

TEST_F(BalloonTipWindow, DestroyedWithItsOwner) {
  CBalloonTip tip;
  {
    ui_test::TopWindow owner(0, 0, 100, 100);
    ASSERT_TRUE(tip.Create(owner.get()));
    EXPECT_NE(tip.Window(), nullptr);
  }
  EXPECT_EQ(tip.Window(), nullptr);
}

}  // namespace
