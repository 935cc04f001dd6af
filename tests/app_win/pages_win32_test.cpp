// The page logic on real windows: each page's dialog made from its template, its
// controls reached through the program's own Win32 control layer. The page tests
// elsewhere stand in a recording layer for the windows, which starts a page's
// controls with what the template gives them; here the templates show that they
// give that, and the current-loop page meets a real up-down control, which keeps
// its own range and decides its position itself.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "app/balloon_tip.h"
#include "app/page_controls.h"
#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "common/resource_ids.h"
#include "device/converter_device.h"
#include "pages/dlg_loop.h"
#include "pages/dlg_rs485.h"
#include "pages/dlg_settings.h"
#include "pages/dlg_test.h"
#include "pages/page_sheet.h"
#include "tests/support/page_host_win32.h"
#include "tests/support/test_catalogue.h"
#include "tests/support/ui_support_win32.h"

namespace {

using ui_test::ClassOf;

std::wstring TextOf(HWND window) {
  wchar_t text[256];
  const int n = GetWindowTextW(window, text, 256);
  return std::wstring(text, n > 0 ? n : 0);
}

// The window class the template must give a control of each kind.
const wchar_t* ClassFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::drop_down:
      return L"ComboBox";
    case ControlKind::edit:
    case ControlKind::log:
      return L"Edit";
    case ControlKind::spin:
      return UPDOWN_CLASSW;
    case ControlKind::button:
      return L"Button";
    case ControlKind::status:
      return L"Static";
  }
  return L"";
}

// A sheet that only lends its window.
class WindowOnlySheet : public PageSheet {
 public:
  explicit WindowOnlySheet(HWND window) : window_(window) {}
  bool ApplyActivePage() override { return false; }
  int CheckLink() override { return 1; }
  WindowHandle Window() override { return window_; }
  void PageChanged() override {}

 private:
  HWND window_;
};

// One page on its dialog, as the main window makes it: the dialog procedure gives
// the controls' notifications to the page logic.
struct PageOnWindow {
  CDlgPage& logic;
  HWND host;
  WindowOnlySheet sheet{host};
  CBalloonTip tip;
  std::unique_ptr<PageControls> controls;
  HWND window = nullptr;

  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<PageOnWindow*>(lparam);
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      self->window = window;
      self->tip.Create(window);
      self->controls = std::make_unique<PageControls>(window, self->host, self->tip);
      self->logic.Attach(self->controls.get(), &self->sheet);
      return self->logic.OnInitDialog();
    }
    auto* self = reinterpret_cast<PageOnWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self || message != WM_COMMAND || !lparam) return FALSE;
    switch (HIWORD(wparam)) {
      case CBN_SELCHANGE:
        self->logic.OnControl(LOWORD(wparam), ControlEvent::selection_changed);
        return TRUE;
      case EN_CHANGE:
        self->logic.OnControl(LOWORD(wparam), ControlEvent::text_changed);
        return TRUE;
      case BN_CLICKED:
        self->logic.OnControl(LOWORD(wparam), ControlEvent::clicked);
        return TRUE;
      default:
        return FALSE;
    }
  }

  PageOnWindow(CDlgPage& page, HWND owner) : logic(page), host(owner) {
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(page.TemplateId()), owner,
                       &PageOnWindow::Proc, reinterpret_cast<LPARAM>(this));
  }
  ~PageOnWindow() {
    if (window) DestroyWindow(window);
  }
  PageOnWindow(const PageOnWindow&) = delete;
  PageOnWindow& operator=(const PageOnWindow&) = delete;

  HWND Control(int id) const { return GetDlgItem(window, id); }
};

// Message boxes the code under test opens are counted and closed from a timer that
// runs in their modal loop, so that a refusal fails the test instead of waiting.
int g_boxes = 0;
void CALLBACK CloseBoxes(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND box = ui_test::VisibleDialog()) {
    ++g_boxes;
    EndDialog(box, IDOK);
  }
}

// The pages over the page tests' catalogue, in which ZR-40 at 4800 baud polls no
// faster than every 3 seconds: the loop page's spin runs from 3.
class PagesOnWindows : public PageHostTest {
 protected:
  void SetUp() override {
    LoadPageCatalogue();
    device_ = std::make_unique<ConverterDevice>();
    g_boxes = 0;
    timer_ = SetTimer(nullptr, 0, 100, CloseBoxes);
  }
  void TearDown() override {
    KillTimer(nullptr, timer_);
    device_.reset();
    ClearCatalogue();
  }

  std::unique_ptr<ConverterDevice> device_;
  UINT_PTR timer_ = 0;
};

// Every control of a page's table is in its template with the class of its kind, a
// spin attached to the edit the table names, a button with the table's caption:
// what the recording layer of the page tests starts the controls with.
TEST_F(PagesOnWindows, TheControlTablesAreTheTemplates) {
  CDlgSettings settings;
  CDlgRs485 rs485;
  CDlgLoop loop;
  CDlgTest test;
  for (CDlgPage* page : {static_cast<CDlgPage*>(&settings), static_cast<CDlgPage*>(&rs485),
                         static_cast<CDlgPage*>(&loop), static_cast<CDlgPage*>(&test)}) {
    SCOPED_TRACE("template " + std::to_string(page->TemplateId()));
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(page->TemplateId()),
                                     Host(), ui_test::TemplateOnlyProc, 0);
    ASSERT_NE(window, nullptr);
    for (const ControlDef& def : page->Controls()) {
      HWND control = GetDlgItem(window, def.id);
      ASSERT_NE(control, nullptr) << "control " << def.id;
      EXPECT_EQ(ClassOf(control), ClassFor(def.kind)) << "control " << def.id;
      EXPECT_TRUE(IsWindowEnabled(control)) << "control " << def.id;
      if (def.kind == ControlKind::spin) {
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(control, UDM_GETBUDDY, 0, 0)), GetDlgItem(window, def.buddy))
            << "spin " << def.id;
      } else if (def.kind == ControlKind::button) {
        EXPECT_EQ(TextOf(control), Utf8ToWide(def.label)) << "button " << def.id;
      } else if (def.kind != ControlKind::drop_down) {
        EXPECT_EQ(TextOf(control), L"") << "control " << def.id;
      }
    }
    DestroyWindow(window);
  }
}

// The checks take a polling interval of 1 to 60 seconds whatever the instrument's
// range is; the real spin does not take a number below its range as its position.
// The interval stored is the number typed, the one that was checked.
TEST_F(PagesOnWindows, TheLoopPageStoresThePollingIntervalTyped) {
  PortSettings& loop = device_->LoopSet();
  loop.devtype = "ZR-40";
  loop.fwver = "ZR40A12";
  loop.baud = 4800;
  loop.delay = 12;
  CDlgLoop logic;
  logic.SetDevice(device_.get());
  PageOnWindow page(logic, Host());
  ASSERT_NE(page.window, nullptr);
  ASSERT_TRUE(logic.OnSetActive());
  HWND spin = page.Control(IDC_LOOP_POLL_SPIN);
  HWND edit = page.Control(IDC_LOOP_POLL);
  int low = 0, high = 0;
  SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
  ASSERT_EQ(low, 3);
  ASSERT_EQ(high, 1000);
  ASSERT_EQ(TextOf(edit), L"12");
  ASSERT_FALSE(logic.modified);

  for (const wchar_t* typed : {L"2", L"1", L"45"}) {
    SCOPED_TRACE(WideToUtf8(typed));
    // The user selects the edit's text and types over it; the spin is not touched.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t* c = typed; *c; ++c) SendMessageW(edit, WM_CHAR, *c, 0);
    ASSERT_EQ(TextOf(edit), typed);
    EXPECT_TRUE(logic.modified);
    EXPECT_TRUE(logic.Validate());
    logic.ExchangeSettings(device_.get(), true, false);
    EXPECT_EQ(loop.delay, std::stoi(typed));
  }
  // What the spin itself makes of the edit: a number below its range is not its
  // position.
  SetWindowTextW(edit, L"2");
  const auto position = static_cast<int>(SendMessageW(spin, UDM_GETPOS32, 0, 0));
  EXPECT_NE(position, 2);
  EXPECT_EQ(g_boxes, 0);
}

}  // namespace
