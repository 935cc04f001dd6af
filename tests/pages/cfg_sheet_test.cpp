// The main window's logic without a converter: its busy state over the window, the
// Apply button's state, closing, and OK when nothing or only a failing link is to
// be written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/code_pages.h"
#include "common/resource_ids.h"
#include "pages/device_calls.h"
#include "tests/pages/sheet_harness.h"

namespace {

class Sheet : public ::testing::Test {
 protected:
  void SetUp() override {
    h.device.LinkSet().port = kMissingPort;
    h.Open();
    h.ui.Clear();
  }
  bool Enabled(int button) { return h.host.IsButtonEnabled(button); }
  std::vector<int> SheetCursors() {
    std::vector<int> out;
    for (const UiEvent& e : h.ui.Events())
      if (e.kind == UiEvent::cursor && e.who == "sheet") out.push_back(e.code);
    return out;
  }

  // The missing port is listed, as a port that was present when the list was made.
  SheetHarness h{{1, 250}};
};

TEST_F(Sheet, PagesInTabOrderShareTheDevice) {
  const int captions[] = {IDS_TAB_SETTINGS, IDS_TAB_RS485, IDS_TAB_LOOP, IDS_TAB_TEST};
  for (int i = 0; i < CCfgSheet::kPageCount; ++i) {
    EXPECT_EQ(h.sheet.Page(i).CaptionStringId(), captions[i]) << i;
    EXPECT_EQ(h.sheet.Page(i).Device(), &h.device) << i;
  }
  EXPECT_TRUE(h.sheet.SettingsPage().initialized);
  EXPECT_FALSE(h.sheet.Rs485Page().initialized);
  EXPECT_FALSE(Enabled(kSheetApply));
}

// What the user can use after each notification, in order: OK, Cancel, Apply, the
// tabs, and whether the close box is ignored.
TEST_F(Sheet, BusyLocksTheWindowAndIdleRestoresIt) {
  const auto window = [&] {
    return std::vector<bool>{Enabled(kSheetOk), Enabled(kSheetCancel), Enabled(kSheetApply),
                             h.host.TabsEnabled(), !h.sheet.CanClose()};
  };
  const struct {
    unsigned notification;
    std::vector<bool> after;
  } steps[] = {
      {WM_PAGE_MODIFIED, {true, true, true, true, false}},
      {WM_PAGE_BUSY, {false, false, false, false, true}},
      // While busy, a page that turns clean or modified changes only the state
      // Apply returns to.
      {WM_PAGE_CLEAN, {false, false, false, false, true}},
      {WM_PAGE_MODIFIED, {false, false, false, false, true}},
      {WM_PAGE_IDLE, {true, true, true, true, false}},
      {WM_PAGE_CLEAN, {true, true, false, true, false}},
      {WM_PAGE_BUSY, {false, false, false, false, true}},
      {WM_PAGE_IDLE, {true, true, false, true, false}},
  };
  for (const auto& step : steps) {
    h.sheet.OnPageNotification(step.notification);
    EXPECT_EQ(window(), step.after) << step.notification;
  }
  EXPECT_EQ(SheetCursors(), (std::vector<int>{1, 0, 1, 0}));
}

TEST_F(Sheet, TheCloseBoxIsIgnoredWhileBusy) {
  h.sheet.OnPageNotification(WM_PAGE_BUSY);
  EXPECT_FALSE(h.sheet.CanClose());
  EXPECT_FALSE(h.sheet.OnClose());
  EXPECT_EQ(h.host.Result(), 0);
  h.sheet.OnPageNotification(WM_PAGE_IDLE);
  EXPECT_TRUE(h.sheet.OnClose());
  EXPECT_EQ(h.host.Result(), CCfgSheet::kResultCancel);
}

TEST_F(Sheet, CancelClosesWithoutWriting) {
  h.Settings().ChooseText(IDC_BAUD, "19200");
  h.sheet.OnCancel();
  EXPECT_EQ(h.host.Result(), CCfgSheet::kResultCancel);
  EXPECT_TRUE(h.Boxes().empty());
  EXPECT_NE(h.device.LinkSet().baud, 19200);
}

TEST_F(Sheet, ApplyOnTheTestPageDoesNothing) {
  h.host.SetActivePage(CCfgSheet::kTestPage);
  EXPECT_TRUE(h.sheet.ApplyActivePage());
  EXPECT_TRUE(h.ui.Events().empty());
}

TEST_F(Sheet, OkWithNothingModifiedTalksToNoConverter) {
  h.Rs485().Activate();
  const PortSettings stored_link = h.device.StoredLinkSet();
  ASSERT_TRUE(h.PressOk());
  EXPECT_EQ(h.host.Result(), CCfgSheet::kResultOk);
  // A connection attempt on the missing port would have been reported.
  EXPECT_TRUE(h.Boxes().empty());
  EXPECT_TRUE(SheetCursors().empty());
  EXPECT_EQ(h.device.StoredLinkSet(), stored_link);
}

TEST_F(Sheet, OkWithAFailingLinkReportsItWritesNothingElseAndCloses) {
  h.Rs485().Activate();
  h.Rs485().ChooseText(IDC_BAUD, "57600");
  h.Settings().ChooseText(IDC_BAUD, "19200");
  const PortSettings stored_rs485 = h.device.StoredRs485Set();
  h.ui.Clear();

  ASSERT_TRUE(h.PressOk());
  EXPECT_EQ(h.Boxes(),
            (std::vector<Box>{{std::string("Невозможно использовать порт \"") + kMissingPort + "\".",
                               "Ошибка", kNoticeIconError, "sheet"}}));
  // The page's edits reached the working set, not the stored ones.
  EXPECT_EQ(h.device.LinkSet().baud, 19200);
  EXPECT_NE(h.device.StoredLinkSet().baud, 19200);
  EXPECT_EQ(h.device.StoredRs485Set(), stored_rs485);
  EXPECT_NE(h.device.Rs485Set().baud, 57600);  // the RS-485 page was not even stored
  EXPECT_TRUE(h.sheet.Rs485Page().modified);
  EXPECT_EQ(h.host.Result(), CCfgSheet::kResultOk);
  EXPECT_FALSE(h.sheet.busy);
  EXPECT_FALSE(h.device.connected);
}

TEST_F(Sheet, ApplyFailuresAreSilentInTheSilentState) {
  h.Settings().ChooseText(IDC_BAUD, "19200");
  SetSilentState(true);
  h.ui.Clear();
  EXPECT_FALSE(h.sheet.ApplyActivePage());
  EXPECT_TRUE(h.Boxes().empty());
  EXPECT_EQ(SheetCursors(), (std::vector<int>{1, 0}));
  EXPECT_TRUE(h.sheet.SettingsPage().modified);
}

// How a failed connection reaches the user: handed back to the caller, in a box
// owned by the given window after the arrow cursor is back, or (silent state) not
// at all, the cursor still restored.
TEST_F(Sheet, AFailedConnectIsShownOrHandedBack) {
  const std::string expected = std::string("Невозможно использовать порт \"") + kMissingPort + "\".";
  const auto arrows = [&] {
    int n = 0;
    for (const UiEvent& e : h.ui.Events())
      if (e.kind == UiEvent::cursor && e.who == "device" && e.code == 0) ++n;
    return n;
  };

  std::string text;
  EXPECT_FALSE(Connect(h.device, h.sheet.Window(), false, &text));
  EXPECT_EQ(Cp1251ToUtf8(text), expected);
  EXPECT_TRUE(h.Boxes().empty());
  EXPECT_FALSE(Connect(h.device, h.sheet.Window(), false, nullptr));
  EXPECT_TRUE(h.Boxes().empty());

  text.clear();
  EXPECT_FALSE(Connect(h.device, h.sheet.Window(), true, &text));
  EXPECT_TRUE(text.empty());  // shown, not handed back
  EXPECT_EQ(h.Boxes(), (std::vector<Box>{{expected, "Ошибка", kNoticeIconError, "sheet"}}));
  EXPECT_EQ(arrows(), 1);
  const std::vector<UiEvent> events = h.ui.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, UiEvent::cursor);  // the arrow before the box
  EXPECT_EQ(events[1].kind, UiEvent::box);

  SetSilentState(true);
  EXPECT_FALSE(Connect(h.device, nullptr, true, nullptr));
  EXPECT_EQ(h.Boxes().size(), 1u);
  EXPECT_EQ(arrows(), 2);
  EXPECT_FALSE(h.device.connected);
}

// An address the converter cannot take is shown corrected before anything of the
// RS-485 write is sent, in a box of the main window, and the page shows the address
// written; here nothing can be sent at all, and the write fails after the box.
TEST_F(Sheet, TheRs485WriteShowsTheCorrectedAddressFirst) {
  RecordingControls& rs485 = h.Rs485();
  rs485.Activate();
  PortSettings& rs = h.device.Rs485Set();
  rs.address = 300;
  rs.alen = 8;
  SetSilentState(true);
  h.ui.Clear();
  const Rs485WriteOutcome written = WriteRs485Settings(h.device, &h.sheet.Rs485Page());
  EXPECT_EQ(h.Boxes(),
            (std::vector<Box>{{"Адрес 300 вне допустимого диапазона при данном типе адресации.\n"
                               "Будет установлено значение адреса равное 254",
                               "Неверный адрес", kNoticeIconError, "sheet"}}));
  EXPECT_EQ(rs.address, 254);
  EXPECT_EQ(rs485.Text(IDC_RS485_ADDRESS), "254");
  EXPECT_EQ(rs485.FocusedControl(), IDC_RS485_DELAY);
  EXPECT_FALSE(written);
  EXPECT_EQ(written.result, DeviceResult::kWriteFailed);
  EXPECT_TRUE(written.corrected);
  EXPECT_EQ(written.address, 254);
  EXPECT_EQ(Cp1251ToUtf8(written.text), "Ошибка сохранения коммуникационных параметров прибора.");
}

TEST_F(Sheet, OkStopsAtTheFirstPageThatRefuses) {
  h.Settings().Type(IDC_LINK_ADDRESS, "");
  ASSERT_TRUE(h.PressOk());
  ASSERT_EQ(h.Boxes().size(), 1u);
  EXPECT_EQ(h.Boxes()[0].text, "Пустое значение поля");
  EXPECT_EQ(h.host.Result(), 0);
  EXPECT_FALSE(h.device.connected);
}

}  // namespace
