// The page "RS-485 компьютера" through its controls: the computer's ports, what it
// shows of the link set and stores back, its defaults, its checks, and leaving it
// (which asks the sheet to reach the converter).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "tests/pages/sheet_harness.h"

namespace {

using Page = CDlgSettings;

class SettingsPage : public ::testing::Test {
 protected:
  // A computer with the given serial ports, the page shown for the link set as
  // the test left it.
  RecordingControls& Show(std::vector<int> ports = {1, 3}) {
    h = std::make_unique<SheetHarness>(std::move(ports));
    PortSettings& link = h->device.LinkSet();
    link = wanted;
    link.changed = true;
    h->Open();
    h->ui.Clear();
    return h->Settings();
  }
  PortSettings& Link() { return h->device.LinkSet(); }
  CDlgSettings& Logic() { return h->sheet.SettingsPage(); }
  PortSettings Saved() {
    Logic().ExchangeSettings(&h->device, true, false);
    return Link();
  }

  PortSettings wanted{.port = "COM3", .baud = 9600, .bytesize = 8, .address = 16, .adaptor = 1};
  std::unique_ptr<SheetHarness> h;
};

TEST_F(SettingsPage, ControlsAndTheComputersPorts) {
  RecordingControls& page = Show({1, 3});
  EXPECT_EQ(page.page().TemplateId(), IDD_SETTINGS);
  EXPECT_EQ(page.Items(Page::kPort), (std::vector<std::string>{"COM1", "COM3"}));
  EXPECT_EQ(page.ItemData(Page::kPort, 1), 3);
  EXPECT_TRUE(page.Enabled(Page::kPort));
  EXPECT_FALSE(Logic().noPorts);
  EXPECT_EQ(page.Items(Page::kAdaptor),
            (std::vector<std::string>{"Автоматический", "Управляемый (KV8)"}));
  EXPECT_EQ(page.Items(Page::kBaud).size(), 9u);
  EXPECT_EQ(page.Items(Page::kAddressLength), (std::vector<std::string>{"8 битный", "11 битный"}));
  EXPECT_EQ(page.Text(Page::kDefaults), "Настройки по умолчанию");
  const std::pair<int, int> tips[] = {
      {Page::kPort, IDS_TIP_PORT},         {Page::kAdaptor, IDS_TIP_ADAPTOR},
      {Page::kBaud, IDS_TIP_LINK_BAUD},    {Page::kByteSize, IDS_TIP_BYTESIZE},
      {Page::kParity, IDS_TIP_PARITY},     {Page::kStopBits, IDS_TIP_STOPBITS},
      {Page::kAddressLength, IDS_TIP_ADDRESS_LENGTH}, {Page::kAddress, IDS_TIP_ADDRESS},
      {Page::kDefaults, IDS_TIP_DEFAULTS}};
  for (auto [id, tip] : tips) EXPECT_EQ(page.Tooltip(id), tip) << id;
}

TEST_F(SettingsPage, ShowsTheLinkSet) {
  wanted = {.port = "COM3", .baud = 38400, .bytesize = 7, .parity = 2, .stopbits = 2,
            .address = 1234, .alen = 11, .adaptor = 1};
  RecordingControls& page = Show();
  EXPECT_EQ(page.Selected(Page::kPort), "COM3");
  EXPECT_EQ(page.Selected(Page::kAdaptor), "Управляемый (KV8)");
  EXPECT_EQ(page.Selected(Page::kBaud), "38400");
  EXPECT_EQ(page.Selected(Page::kByteSize), "7");
  EXPECT_EQ(page.Selected(Page::kParity), "Четность");
  EXPECT_EQ(page.Selected(Page::kStopBits), "2");
  EXPECT_EQ(page.Selected(Page::kAddressLength), "11 битный");
  EXPECT_EQ(page.SpinRange(Page::kAddressSpin), std::make_pair(0, 2047));
  EXPECT_EQ(page.Text(Page::kAddress), "1234");
  EXPECT_FALSE(Logic().modified);
}

TEST_F(SettingsPage, AStoredBaudOutsideTheListShows9600) {
  wanted.baud = 1200;
  RecordingControls& page = Show();
  EXPECT_EQ(page.Selected(Page::kBaud), "9600");
}

TEST_F(SettingsPage, AStoredPortThatIsNotPresentIsNotSelected) {
  wanted.port = "COM7";
  RecordingControls& page = Show({1, 3});
  EXPECT_EQ(page.Selection(Page::kPort), -1);
  page.ChooseText(Page::kAdaptor, "Автоматический");
  EXPECT_EQ(Saved().port, "");
}

TEST_F(SettingsPage, NoSerialPorts) {
  wanted.port = "COM3";
  RecordingControls& page = Show({});
  EXPECT_TRUE(Logic().noPorts);
  EXPECT_EQ(page.Items(Page::kPort), std::vector<std::string>{"<Отсутствует>"});
  EXPECT_EQ(page.ItemData(Page::kPort, 0), -1);
  EXPECT_EQ(page.Selected(Page::kPort), "<Отсутствует>");
  EXPECT_FALSE(page.Enabled(Page::kPort));
  page.ChooseText(Page::kBaud, "19200");
  const PortSettings saved = Saved();
  EXPECT_EQ(saved.port, "COM3");
  EXPECT_EQ(saved.baud, 19200);
}

TEST_F(SettingsPage, SavesWhatTheUserChose) {
  RecordingControls& page = Show({1, 3, 12});
  page.ChooseText(Page::kPort, "COM12");
  page.ChooseText(Page::kAdaptor, "Автоматический");
  page.ChooseText(Page::kBaud, "115200");
  page.ChooseText(Page::kByteSize, "7");
  page.ChooseText(Page::kParity, "Нечетность");
  page.ChooseText(Page::kStopBits, "2");
  page.ChooseText(Page::kAddressLength, "11 битный");
  page.Type(Page::kAddress, "2000");
  Link().proto = 2;
  Link().delay = 33;
  const PortSettings saved = Saved();
  EXPECT_EQ(saved.port, "COM12");
  EXPECT_EQ(saved.adaptor, 0);
  EXPECT_EQ(saved.baud, 115200);
  EXPECT_EQ(saved.bytesize, 7);
  EXPECT_EQ(saved.parity, 1);
  EXPECT_EQ(saved.stopbits, 2);
  EXPECT_EQ(saved.alen, 11);
  EXPECT_EQ(saved.address, 2000);
  // Not the page's to change.
  EXPECT_EQ(saved.proto, 2);
  EXPECT_EQ(saved.delay, 33);
}

TEST_F(SettingsPage, TheDefaultsAreShownNotTaken) {
  wanted = {.port = "COM3", .baud = 19200, .bytesize = 7, .parity = 2, .stopbits = 2,
            .address = 100, .alen = 11, .adaptor = 1};
  RecordingControls& page = Show({3});
  const PortSettings before = Link();
  ASSERT_TRUE(page.Press(Page::kDefaults));
  EXPECT_EQ(page.Selected(Page::kBaud), "9600");
  EXPECT_EQ(page.Selected(Page::kByteSize), "8");
  EXPECT_EQ(page.Selected(Page::kParity), "Отсутствует");
  EXPECT_EQ(page.Selected(Page::kStopBits), "1");
  EXPECT_EQ(page.Selected(Page::kAddressLength), "8 битный");
  EXPECT_EQ(page.Text(Page::kAddress), "16");
  EXPECT_EQ(page.Selected(Page::kPort), "COM3");  // no COM1 on this computer
  EXPECT_EQ(page.Selected(Page::kAdaptor), "Управляемый (KV8)");
  EXPECT_TRUE(Logic().modified);
  EXPECT_EQ(Link(), before);
  EXPECT_EQ(h->Notifications().back(), WM_PAGE_MODIFIED);

  // Saved, they reach the link set.
  const PortSettings saved = Saved();
  EXPECT_EQ(saved.baud, 9600);
  EXPECT_EQ(saved.address, 16);
  EXPECT_EQ(saved.alen, 8);
  EXPECT_EQ(saved.port, "COM3");
}

TEST_F(SettingsPage, TheDefaultsSelectCom1WhenPresent) {
  RecordingControls& page = Show({1, 3});
  page.Press(Page::kDefaults);
  EXPECT_EQ(page.Selected(Page::kPort), "COM1");
}

struct AddressCase {
  const char* name;
  const char* length;
  const char* address;
  const char* refusal;  // "" when the page accepts it
};

class SettingsAddress : public SettingsPage, public ::testing::WithParamInterface<AddressCase> {};

// Refused on leaving; corrected to 16 on Apply.
TEST_P(SettingsAddress, RefusedOnLeavingCorrectedOnApply) {
  const AddressCase& c = GetParam();
  RecordingControls& page = Show();
  page.ChooseText(Page::kAddressLength, c.length);
  page.Type(Page::kAddress, c.address);
  h->ui.Clear();
  EXPECT_EQ(Logic().Validate(), !*c.refusal);
  auto boxes = h->Boxes();
  if (!*c.refusal) {
    EXPECT_TRUE(boxes.empty());
    return;
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, c.refusal);
  EXPECT_EQ(boxes[0].caption, "Нельзя выполнить операцию");
  EXPECT_EQ(boxes[0].style, kNoticeIconError);
  EXPECT_EQ(page.Text(Page::kAddress), c.address);

  h->ui.Clear();
  EXPECT_TRUE(Logic().OnApply());
  boxes = h->Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::string("Адрес ") + c.address +
                               " вне допустимого диапазона при данном типе адресации.\n"
                               "Будет установлено значение адреса равное 16");
  EXPECT_EQ(boxes[0].caption, "Неверный адрес");
  EXPECT_EQ(boxes[0].style, kNoticeIconError);
  EXPECT_EQ(page.Text(Page::kAddress), "16");
  EXPECT_EQ(Saved().address, 16);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsAddress,
    ::testing::Values(
        AddressCase{"Address300In8Bits", "8 битный", "300",
                    "Недопустимое значение сетевого адреса: 300\n"
                    "правильное значение при данном типе адресации от 0 до 254"},
        AddressCase{"Address2048In11Bits", "11 битный", "2048",
                    "Недопустимое значение сетевого адреса: 2048\n"
                    "правильное значение при данном типе адресации от 0 до 2047"},
        AddressCase{"Address2047In11Bits", "11 битный", "2047", ""},
        AddressCase{"Address0In8Bits", "8 битный", "0", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsPage, AnEmptyAddressIsRefusedFirst) {
  RecordingControls& page = Show();
  page.Type(Page::kAddress, "");
  h->ui.Clear();
  EXPECT_FALSE(page.Leave());
  const auto boxes = h->Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Пустое значение поля");
  EXPECT_EQ(boxes[0].caption, "Продолжение невозможно");
  EXPECT_EQ(page.FocusedControl(), Page::kAddress);
  EXPECT_FALSE(h->device.connected);
}

TEST_F(SettingsPage, UnsupportedFramesWarnWithoutTheRs485PagesMark) {
  RecordingControls& page = Show();
  page.ChooseText(Page::kParity, "Четность");
  EXPECT_TRUE(h->Boxes().empty());
  page.ChooseText(Page::kStopBits, "2");
  auto boxes = h->Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Внимание, этот режим не поддерживается KV4T!");
  EXPECT_EQ(boxes[0].caption, "Неверные сетевые настройки");
  EXPECT_EQ(boxes[0].style, kNoticeIconWarning);
  const auto events = h->ui.Events();
  const auto box = std::find_if(events.begin(), events.end(),
                                [](const UiEvent& e) { return e.kind == UiEvent::box; });
  ASSERT_NE(box, events.end());
  ASSERT_NE(box + 1, events.end());
  EXPECT_EQ(box[1].kind, UiEvent::beep);
  EXPECT_EQ(box[1].style, kNoticeIconError);
  EXPECT_EQ(page.Selected(Page::kStopBits), "2");
  // The address length runs no such check here; only the address range follows it.
  h->ui.Clear();
  page.ChooseText(Page::kAddressLength, "11 битный");
  EXPECT_TRUE(h->Boxes().empty());
  EXPECT_EQ(page.SpinRange(Page::kAddressSpin), std::make_pair(0, 2047));
  EXPECT_EQ(page.Text(Page::kAddress), "16");
}

// A load reports the page changed to the sheet, which enables Apply; opening the
// sheet then disables it.
TEST_F(SettingsPage, ALoadEnablesApplyUntilTheSheetIsInitialised) {
  Show();
  EXPECT_FALSE(h->host.IsButtonEnabled(kSheetApply));
  Link().changed = true;
  h->Settings().Activate();
  EXPECT_TRUE(h->host.IsButtonEnabled(kSheetApply));
  EXPECT_FALSE(Logic().modified);
}

TEST_F(SettingsPage, LeavingWithoutAConverterIsBlocked) {
  wanted.port = kMissingPort;
  RecordingControls& page = Show({1, 3});
  EXPECT_FALSE(h->SwitchTo(CCfgSheet::kRs485Page));
  std::vector<UiEvent> seen;
  for (const UiEvent& e : h->ui.Events())
    if (e.kind == UiEvent::box || (e.kind == UiEvent::cursor && e.who == "page 106"))
      seen.push_back(e);
  // The link apply's own report, then the wait cursor around the check, then the block.
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].text, std::string("Невозможно использовать порт \"") + kMissingPort + "\".");
  EXPECT_EQ(seen[0].who, "sheet");
  EXPECT_EQ(seen[1].code, 1);
  EXPECT_EQ(seen[2].code, 0);
  EXPECT_EQ(seen[3].text, "Переключение вкладок блокировано, поскольку нет связи с прибором");
  EXPECT_EQ(seen[3].caption, "Переключение вкладок блокировано");
  EXPECT_EQ(seen[3].style, kNoticeIconError);
  EXPECT_EQ(seen[3].who, "page 106");
  EXPECT_EQ(h->host.ActivePage(), CCfgSheet::kSettingsPage);
  EXPECT_FALSE(h->device.connected);
  EXPECT_TRUE(page.Enabled(Page::kAddress));
}

TEST_F(SettingsPage, ANegativeLinkCheckLeavesWithoutAMessage) {
  wanted.port = kMissingPort;
  Show({1, 3});
  SetSilentState(true);
  EXPECT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  EXPECT_TRUE(h->Boxes().empty());
  EXPECT_EQ(h->host.ActivePage(), CCfgSheet::kRs485Page);
}

}  // namespace
