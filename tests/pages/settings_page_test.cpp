// The page "RS-485 компьютера" through its controls: the computer's ports, what it
// shows of the link set and stores back, its defaults, its checks, and leaving it
// (which asks the sheet to reach the converter).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "tests/pages/named_cases.h"
#include "tests/pages/sheet_harness.h"

namespace {


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

// The controls in the order port, adaptor, baud, word length, parity, stop bits,
// address length, address.
std::vector<Shown> Controls(const char* port, const char* adaptor, const char* baud,
                            const char* bits, const char* parity, const char* stop,
                            const char* length, const char* address) {
  return {{IDC_PORT, port},     {IDC_ADAPTOR, adaptor},         {IDC_BAUD, baud},
          {IDC_BYTESIZE, bits}, {IDC_PARITY, parity},           {IDC_STOPBITS, stop},
          {IDC_ADDRESS_LENGTH, length}, {IDC_LINK_ADDRESS, address}};
}

TEST_F(SettingsPage, ControlsAndTheComputersPorts) {
  RecordingControls& page = Show({1, 3});
  EXPECT_EQ(page.page().TemplateId(), IDD_SETTINGS);
  EXPECT_EQ(page.Items(IDC_PORT), (std::vector<std::string>{"COM1", "COM3"}));
  EXPECT_EQ(page.ItemData(IDC_PORT, 1), 3);
  EXPECT_TRUE(page.Enabled(IDC_PORT));
  EXPECT_FALSE(Logic().noPorts);
  EXPECT_EQ(page.Items(IDC_ADAPTOR),
            (std::vector<std::string>{"Автоматический", "Управляемый (KV8)"}));
  EXPECT_EQ(page.Items(IDC_BAUD).size(), 9u);
  EXPECT_EQ(page.Items(IDC_ADDRESS_LENGTH), (std::vector<std::string>{"8 битный", "11 битный"}));
  EXPECT_EQ(page.Text(IDC_DEFAULTS), "Настройки по умолчанию");
  const std::pair<int, int> tips[] = {
      {IDC_PORT, IDS_TIP_PORT},         {IDC_ADAPTOR, IDS_TIP_ADAPTOR},
      {IDC_BAUD, IDS_TIP_LINK_BAUD},    {IDC_BYTESIZE, IDS_TIP_BYTESIZE},
      {IDC_PARITY, IDS_TIP_PARITY},     {IDC_STOPBITS, IDS_TIP_STOPBITS},
      {IDC_ADDRESS_LENGTH, IDS_TIP_ADDRESS_LENGTH}, {IDC_LINK_ADDRESS, IDS_TIP_ADDRESS},
      {IDC_DEFAULTS, IDS_TIP_DEFAULTS}};
  for (auto [id, tip] : tips) EXPECT_EQ(page.Tooltip(id), tip) << id;
}

TEST_F(SettingsPage, ShowsTheLinkSet) {
  wanted = {.port = "COM3", .baud = 38400, .bytesize = 7, .parity = 2, .stopbits = 2,
            .address = 1234, .alen = 11, .adaptor = 1};
  RecordingControls& page = Show();
  const auto shown =
      Controls("COM3", "Управляемый (KV8)", "38400", "7", "Четность", "2", "11 битный", "1234");
  EXPECT_EQ(Showing(page, shown), shown);
  EXPECT_EQ(page.SpinRange(IDC_LINK_ADDRESS_SPIN), std::make_pair(0, 2047));
  EXPECT_FALSE(Logic().modified);
}

TEST_F(SettingsPage, AStoredBaudOutsideTheListShows9600) {
  wanted.baud = 1200;
  RecordingControls& page = Show();
  EXPECT_EQ(page.Selected(IDC_BAUD), "9600");
}

TEST_F(SettingsPage, AStoredPortThatIsNotPresentIsNotSelected) {
  wanted.port = "COM7";
  RecordingControls& page = Show({1, 3});
  EXPECT_EQ(page.Selection(IDC_PORT), -1);
  page.ChooseText(IDC_ADAPTOR, "Автоматический");
  EXPECT_EQ(Saved().port, "");
}

TEST_F(SettingsPage, NoSerialPorts) {
  wanted.port = "COM3";
  RecordingControls& page = Show({});
  EXPECT_TRUE(Logic().noPorts);
  EXPECT_EQ(page.Items(IDC_PORT), std::vector<std::string>{"<Отсутствует>"});
  EXPECT_EQ(page.ItemData(IDC_PORT, 0), -1);
  EXPECT_EQ(page.Selected(IDC_PORT), "<Отсутствует>");
  EXPECT_FALSE(page.Enabled(IDC_PORT));
  page.ChooseText(IDC_BAUD, "19200");
  const PortSettings saved = Saved();
  EXPECT_EQ(saved.port, "COM3");
  EXPECT_EQ(saved.baud, 19200);
}

TEST_F(SettingsPage, SavesWhatTheUserChose) {
  RecordingControls& page = Show({1, 3, 12});
  ASSERT_TRUE(Enter(page, Controls("COM12", "Автоматический", "115200", "7", "Нечетность", "2",
                                   "11 битный", "2000")));
  // Protocol and delay are not the page's to change.
  Link().proto = 2;
  Link().delay = 33;
  PortSettings expected = WithLine(Link(), 115200, 7, 1, 2, 2000, 11);
  expected.port = "COM12";
  expected.adaptor = 0;
  EXPECT_EQ(Saved(), expected);
}

TEST_F(SettingsPage, TheDefaultsAreShownNotTaken) {
  wanted = {.port = "COM3", .baud = 19200, .bytesize = 7, .parity = 2, .stopbits = 2,
            .address = 100, .alen = 11, .adaptor = 1};
  RecordingControls& page = Show({3});
  const PortSettings before = Link();
  ASSERT_TRUE(page.Press(IDC_DEFAULTS));
  // No COM1 on this computer: the port stays; the adaptor is no default.
  const auto shown =
      Controls("COM3", "Управляемый (KV8)", "9600", "8", "Отсутствует", "1", "8 битный", "16");
  EXPECT_EQ(Showing(page, shown), shown);
  EXPECT_TRUE(Logic().modified);
  EXPECT_EQ(Link(), before);
  EXPECT_EQ(h->Notifications().back(), WM_PAGE_MODIFIED);

  // Saved, they reach the link set.
  EXPECT_EQ(Saved(), WithLine(before, 9600, 8, 0, 0, 16, 8));
}

TEST_F(SettingsPage, TheDefaultsSelectCom1WhenPresent) {
  RecordingControls& page = Show({1, 3});
  page.Press(IDC_DEFAULTS);
  EXPECT_EQ(page.Selected(IDC_PORT), "COM1");
}

constexpr const char* kPage = "page 106";

struct AddressCase : NamedCase {
  const char* length;
  const char* address;
  const char* refusal;  // "" when the page accepts it
};

class SettingsAddress : public SettingsPage, public ::testing::WithParamInterface<AddressCase> {};

// Refused on leaving; corrected to 16 on Apply.
TEST_P(SettingsAddress, RefusedOnLeavingCorrectedOnApply) {
  const AddressCase& c = GetParam();
  RecordingControls& page = Show();
  ASSERT_TRUE(Enter(page, {{IDC_ADDRESS_LENGTH, c.length}, {IDC_LINK_ADDRESS, c.address}}));
  h->ui.Clear();
  EXPECT_EQ(Logic().Validate(), !*c.refusal);
  if (!*c.refusal) {
    EXPECT_TRUE(h->Boxes().empty());
    return;
  }
  EXPECT_EQ(h->Boxes(), (std::vector<Box>{{c.refusal, "Нельзя выполнить операцию",
                                           kNoticeIconError, kPage}}));
  EXPECT_EQ(page.Text(IDC_LINK_ADDRESS), c.address);

  h->ui.Clear();
  EXPECT_TRUE(Logic().OnApply());
  EXPECT_EQ(h->Boxes(),
            (std::vector<Box>{{std::string("Адрес ") + c.address +
                                   " вне допустимого диапазона при данном типе адресации.\n"
                                   "Будет установлено значение адреса равное 16",
                               "Неверный адрес", kNoticeIconError, kPage}}));
  EXPECT_EQ(page.Text(IDC_LINK_ADDRESS), "16");
  EXPECT_EQ(Saved().address, 16);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsAddress,
    ::testing::Values(
        AddressCase{{"Address300In8Bits"}, "8 битный", "300",
                    "Недопустимое значение сетевого адреса: 300\n"
                    "правильное значение при данном типе адресации от 0 до 254"},
        AddressCase{{"Address2048In11Bits"}, "11 битный", "2048",
                    "Недопустимое значение сетевого адреса: 2048\n"
                    "правильное значение при данном типе адресации от 0 до 2047"},
        AddressCase{{"Address2047In11Bits"}, "11 битный", "2047", ""},
        AddressCase{{"Address0In8Bits"}, "8 битный", "0", ""}),
    CaseName());

TEST_F(SettingsPage, AnEmptyAddressIsRefusedFirst) {
  RecordingControls& page = Show();
  page.Type(IDC_LINK_ADDRESS, "");
  h->ui.Clear();
  EXPECT_FALSE(page.Leave());
  EXPECT_EQ(h->Boxes(), (std::vector<Box>{{"Пустое значение поля", "Продолжение невозможно",
                                           kNoticeIconError, kPage}}));
  EXPECT_EQ(page.FocusedControl(), IDC_LINK_ADDRESS);
  EXPECT_FALSE(h->device.connected);
}

TEST_F(SettingsPage, UnsupportedFramesWarnWithoutTheRs485PagesMark) {
  RecordingControls& page = Show();
  page.ChooseText(IDC_PARITY, "Четность");
  EXPECT_TRUE(h->Boxes().empty());
  page.ChooseText(IDC_STOPBITS, "2");
  EXPECT_EQ(h->Boxes(), (std::vector<Box>{{"Внимание, этот режим не поддерживается KV4T!",
                                           "Неверные сетевые настройки", kNoticeIconWarning,
                                           kPage}}));
  const auto events = h->ui.Events();
  const auto box = std::find_if(events.begin(), events.end(),
                                [](const UiEvent& e) { return e.kind == UiEvent::box; });
  ASSERT_TRUE(box != events.end() && box + 1 != events.end());
  EXPECT_EQ(box[1].kind, UiEvent::beep);
  EXPECT_EQ(box[1].style, kNoticeIconError);
  EXPECT_EQ(page.Selected(IDC_STOPBITS), "2");
  // The address length runs no such check here; only the address range follows it.
  h->ui.Clear();
  page.ChooseText(IDC_ADDRESS_LENGTH, "11 битный");
  EXPECT_TRUE(h->Boxes().empty());
  EXPECT_EQ(page.SpinRange(IDC_LINK_ADDRESS_SPIN), std::make_pair(0, 2047));
  EXPECT_EQ(page.Text(IDC_LINK_ADDRESS), "16");
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
  // The link apply's own report, then the wait cursor around the check, then the block.
  std::vector<Box> seen;
  for (const UiEvent& e : h->ui.Events())
    if (e.kind == UiEvent::box) seen.push_back({e.text, e.caption, e.style, e.who});
    else if (e.kind == UiEvent::cursor && e.who == kPage)
      seen.push_back({e.code ? "wait" : "arrow", "", 0, e.who});
  EXPECT_EQ(seen,
            (std::vector<Box>{
                {std::string("Невозможно использовать порт \"") + kMissingPort + "\".", "Ошибка",
                 kNoticeIconError, "sheet"},
                {"wait", "", 0, kPage},
                {"arrow", "", 0, kPage},
                {"Переключение вкладок блокировано, поскольку нет связи с прибором",
                 "Переключение вкладок блокировано", kNoticeIconError, kPage}}));
  EXPECT_EQ(h->host.ActivePage(), CCfgSheet::kSettingsPage);
  EXPECT_FALSE(h->device.connected);
  EXPECT_TRUE(page.Enabled(IDC_LINK_ADDRESS));
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
