// The page templates as the property sheet will create them: every control the
// page logic drives exists with its id, window class and the styles its behaviour
// needs; spins are attached to their edits; nothing overlaps or leaves the page.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "tests/app_win/ui_support_win32.h"

namespace {

enum class Kind { list, number, spin, button, status, log };

struct Expected {
  int id;
  Kind kind;
  int buddy = 0;  // spin: its edit
};

struct Page {
  const char* name;
  int template_id;
  std::vector<Expected> controls;
};

const Page kPages[] = {
    {"RS-485",
     IDD_RS485,
     {{IDC_BAUD, Kind::list},
      {IDC_BYTESIZE, Kind::list},
      {IDC_PARITY, Kind::list},
      {IDC_STOPBITS, Kind::list},
      {IDC_PROTOCOL, Kind::list},
      {IDC_ADDRESS_LENGTH, Kind::list},
      {IDC_RS485_ADDRESS, Kind::number},
      {IDC_RS485_ADDRESS_SPIN, Kind::spin, IDC_RS485_ADDRESS},
      {IDC_RS485_DELAY, Kind::number},
      {IDC_RS485_DELAY_SPIN, Kind::spin, IDC_RS485_DELAY}}},
    {"loop",
     IDD_LOOP,
     {{IDC_LOOP_TYPE, Kind::list},
      {IDC_BAUD, Kind::list},
      {IDC_BYTESIZE, Kind::list},
      {IDC_PARITY, Kind::list},
      {IDC_STOPBITS, Kind::list},
      {IDC_LOOP_POLL, Kind::number},
      {IDC_LOOP_POLL_SPIN, Kind::spin, IDC_LOOP_POLL},
      {IDC_LOOP_READ, Kind::button}}},
    {"test",
     IDD_TEST,
     {{IDC_TEST_BUTTON, Kind::button}, {IDC_TEST_LOG, Kind::log}, {IDC_TEST_STATUS, Kind::status}}},
    {"computer port",
     IDD_SETTINGS,
     {{IDC_PORT, Kind::list},
      {IDC_ADAPTOR, Kind::list},
      {IDC_BAUD, Kind::list},
      {IDC_BYTESIZE, Kind::list},
      {IDC_PARITY, Kind::list},
      {IDC_STOPBITS, Kind::list},
      {IDC_ADDRESS_LENGTH, Kind::list},
      {IDC_LINK_ADDRESS, Kind::number},
      {IDC_LINK_ADDRESS_SPIN, Kind::spin, IDC_LINK_ADDRESS},
      {IDC_DEFAULTS, Kind::button}}},
};

INT_PTR CALLBACK PageProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::wstring ClassOf(HWND window) {
  wchar_t name[64];
  const int n = GetClassNameW(window, name, 64);
  return std::wstring(name, n > 0 ? n : 0);
}

// A control's rectangle in its page's client coordinates.
RECT RectIn(HWND page, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class PageTemplates : public ::testing::Test {
 protected:
  // One host for the suite: Wine takes its time to map and unmap a top-level window.
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    host_ = new ui_test::TopWindow(0, 0, 700, 600);
  }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }
  static ui_test::TopWindow* host_;

  HWND Create(int template_id) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), host_->get(), PageProc, 0);
  }
};

ui_test::TopWindow* PageTemplates::host_ = nullptr;

TEST_F(PageTemplates, ChildPagesAllOfOneSize) {
  SIZE first{};
  for (const Page& page : kPages) {
    HWND window = Create(page.template_id);
    ASSERT_NE(window, nullptr) << page.name;
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD) << page.name;
    EXPECT_TRUE(style & DS_CONTROL) << page.name;
    EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION) << page.name;
    RECT r;
    GetClientRect(window, &r);
    if (first.cx == 0) first = {r.right, r.bottom};
    EXPECT_EQ(r.right, first.cx) << page.name;
    EXPECT_EQ(r.bottom, first.cy) << page.name;
    RECT dlu{0, 0, 250, 185};
    MapDialogRect(window, &dlu);
    EXPECT_EQ(r.right, dlu.right) << page.name;
    EXPECT_EQ(r.bottom, dlu.bottom) << page.name;
    DestroyWindow(window);
  }
}

TEST_F(PageTemplates, EveryControlWithItsClassAndStyle) {
  for (const Page& page : kPages) {
    HWND window = Create(page.template_id);
    ASSERT_NE(window, nullptr) << page.name;
    for (const Expected& c : page.controls) {
      SCOPED_TRACE(std::string(page.name) + " control " + std::to_string(c.id));
      HWND control = GetDlgItem(window, c.id);
      ASSERT_NE(control, nullptr);
      const LONG style = GetWindowLongW(control, GWL_STYLE);
      const std::wstring cls = ClassOf(control);
      switch (c.kind) {
        case Kind::list:
          EXPECT_EQ(cls, L"ComboBox");
          EXPECT_EQ(style & 3, CBS_DROPDOWNLIST);
          EXPECT_TRUE(style & WS_TABSTOP);
          break;
        case Kind::number:
          EXPECT_EQ(cls, L"Edit");
          EXPECT_TRUE(style & ES_NUMBER);
          EXPECT_FALSE(style & ES_MULTILINE);
          break;
        case Kind::spin: {
          EXPECT_EQ(cls, UPDOWN_CLASSW);
          const LONG needed = UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_NOTHOUSANDS;
          EXPECT_EQ(style & needed, needed);
          EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(control, UDM_GETBUDDY, 0, 0)),
                    GetDlgItem(window, c.buddy));
          // The spin writes plain numbers: 2047 must not come out as "2 047".
          SendMessageW(control, UDM_SETRANGE32, 0, 2047);
          SendMessageW(control, UDM_SETPOS32, 0, 2047);
          wchar_t text[16];
          GetDlgItemTextW(window, c.buddy, text, 16);
          EXPECT_STREQ(text, L"2047");
          break;
        }
        case Kind::button:
          EXPECT_EQ(cls, L"Button");
          EXPECT_EQ(style & 0x0F, BS_PUSHBUTTON);
          break;
        case Kind::status:
          EXPECT_EQ(cls, L"Static");
          break;
        case Kind::log: {
          EXPECT_EQ(cls, L"Edit");
          const LONG needed = ES_MULTILINE | ES_READONLY | WS_VSCROLL;
          EXPECT_EQ(style & needed, needed);
          break;
        }
      }
    }
    DestroyWindow(window);
  }
}

TEST_F(PageTemplates, ListsOpenTallEnoughForTheLineRates) {
  for (const Page& page : kPages) {
    HWND window = Create(page.template_id);
    ASSERT_NE(window, nullptr);
    for (const Expected& c : page.controls) {
      if (c.kind != Kind::list) continue;
      HWND list = GetDlgItem(window, c.id);
      RECT closed, dropped;
      GetWindowRect(list, &closed);
      SendMessageW(list, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      const int item = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
      // The nine standard rates without a scroll bar.
      EXPECT_GE(dropped.bottom - dropped.top, (closed.bottom - closed.top) + 9 * item)
          << page.name << " list " << c.id;
    }
    DestroyWindow(window);
  }
}

TEST_F(PageTemplates, ControlsStayOnThePageAndApart) {
  for (const Page& page : kPages) {
    HWND window = Create(page.template_id);
    ASSERT_NE(window, nullptr);
    RECT client;
    GetClientRect(window, &client);
    struct Placed {
      HWND window;
      RECT rect;
      bool group;
      HWND buddy;  // a spin's edit: the spin sits on the edit's right border
    };
    std::vector<Placed> placed;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      const bool group = ClassOf(c) == L"Button" && (GetWindowLongW(c, GWL_STYLE) & 0x0F) == BS_GROUPBOX;
      HWND buddy = ClassOf(c) == UPDOWN_CLASSW ? reinterpret_cast<HWND>(SendMessageW(c, UDM_GETBUDDY, 0, 0)) : nullptr;
      placed.push_back({c, RectIn(window, c), group, buddy});
    }
    for (size_t i = 0; i < placed.size(); ++i) {
      const RECT& r = placed[i].rect;
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
          << page.name << " control " << GetDlgCtrlID(placed[i].window);
      for (size_t j = i + 1; j < placed.size(); ++j) {
        if (placed[i].group || placed[j].group) continue;
        if (placed[i].buddy == placed[j].window || placed[j].buddy == placed[i].window) continue;
        RECT both;
        EXPECT_FALSE(IntersectRect(&both, &placed[i].rect, &placed[j].rect))
            << page.name << ": controls " << GetDlgCtrlID(placed[i].window) << " and "
            << GetDlgCtrlID(placed[j].window) << " overlap";
      }
    }
    DestroyWindow(window);
  }
}

}  // namespace
