// The page templates as the property sheet will create them: every control the
// page logic drives exists with its id, window class and the styles its behaviour
// needs; spins are attached to their edits; nothing overlaps or leaves the page.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "tests/support/page_host_win32.h"
#include "tests/support/ui_support_win32.h"

namespace {

using ui_test::ClassOf;

// An edit for a number and the spin attached to it.
struct NumberField {
  int edit;
  int spin;
};

struct Page {
  const char* name;
  int template_id;
  std::vector<int> lists;
  std::vector<NumberField> numbers;
  std::vector<int> buttons;
  int log = 0;     // the line test's protocol box
  int status = 0;  // and its status line
};

const Page kPages[] = {
    {"RS-485", IDD_RS485,
     {IDC_BAUD, IDC_BYTESIZE, IDC_PARITY, IDC_STOPBITS, IDC_PROTOCOL, IDC_ADDRESS_LENGTH},
     {{IDC_RS485_ADDRESS, IDC_RS485_ADDRESS_SPIN}, {IDC_RS485_DELAY, IDC_RS485_DELAY_SPIN}},
     {}},
    {"loop", IDD_LOOP,
     {IDC_LOOP_TYPE, IDC_BAUD, IDC_BYTESIZE, IDC_PARITY, IDC_STOPBITS},
     {{IDC_LOOP_POLL, IDC_LOOP_POLL_SPIN}},
     {IDC_LOOP_READ}},
    {"test", IDD_TEST, {}, {}, {IDC_TEST_BUTTON}, IDC_TEST_LOG, IDC_TEST_STATUS},
    {"computer port", IDD_SETTINGS,
     {IDC_PORT, IDC_ADAPTOR, IDC_BAUD, IDC_BYTESIZE, IDC_PARITY, IDC_STOPBITS, IDC_ADDRESS_LENGTH},
     {{IDC_LINK_ADDRESS, IDC_LINK_ADDRESS_SPIN}},
     {IDC_DEFAULTS}},
};

// A control's rectangle in its page's client coordinates.
RECT RectIn(HWND page, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class PageTemplates : public PageHostTest {
 protected:
  HWND Create(int template_id) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), Host(),
                              ui_test::TemplateOnlyProc, 0);
  }
};

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
    SCOPED_TRACE(page.name);
    HWND window = Create(page.template_id);
    ASSERT_NE(window, nullptr);
    // The control's class and whether it has all of the given styles.
    auto check = [&](int id, const wchar_t* cls, LONG styles) {
      HWND control = GetDlgItem(window, id);
      ASSERT_NE(control, nullptr) << "control " << id;
      EXPECT_EQ(ClassOf(control), cls) << "control " << id;
      EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & styles, styles) << "control " << id;
    };
    for (int id : page.lists) {
      check(id, L"ComboBox", CBS_DROPDOWNLIST | WS_TABSTOP);
      EXPECT_EQ(GetWindowLongW(GetDlgItem(window, id), GWL_STYLE) & 3, CBS_DROPDOWNLIST) << id;
    }
    for (const NumberField& n : page.numbers) {
      check(n.edit, L"Edit", ES_NUMBER | WS_TABSTOP);
      check(n.spin, UPDOWN_CLASSW, UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_NOTHOUSANDS);
      HWND spin = GetDlgItem(window, n.spin);
      EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), GetDlgItem(window, n.edit));
      // The spin writes plain numbers: 2047 must not come out as "2 047".
      SendMessageW(spin, UDM_SETRANGE32, 0, 2047);
      SendMessageW(spin, UDM_SETPOS32, 0, 2047);
      wchar_t text[16] = L"";
      GetDlgItemTextW(window, n.edit, text, 16);
      EXPECT_STREQ(text, L"2047") << "edit " << n.edit;
    }
    for (int id : page.buttons) {
      check(id, L"Button", WS_TABSTOP);
      EXPECT_EQ(GetWindowLongW(GetDlgItem(window, id), GWL_STYLE) & 0x0F, BS_PUSHBUTTON) << id;
    }
    if (page.log) check(page.log, L"Edit", ES_MULTILINE | ES_READONLY | WS_VSCROLL);
    if (page.status) check(page.status, L"Static", 0);
    DestroyWindow(window);
  }
}

TEST_F(PageTemplates, ListsOpenTallEnoughForTheLineRates) {
  for (const Page& page : kPages) {
    HWND window = Create(page.template_id);
    ASSERT_NE(window, nullptr);
    for (int id : page.lists) {
      HWND list = GetDlgItem(window, id);
      RECT closed, dropped;
      GetWindowRect(list, &closed);
      SendMessageW(list, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      const int item = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
      // The nine standard rates without a scroll bar.
      EXPECT_GE(dropped.bottom - dropped.top, (closed.bottom - closed.top) + 9 * item)
          << page.name << " list " << id;
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
