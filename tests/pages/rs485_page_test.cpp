// The page "RS-485 KV4T" through its controls, as the user meets it: what it shows
// of the RS-485 set, what it stores back, and what it refuses.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "tests/pages/named_cases.h"
#include "tests/pages/sheet_harness.h"

namespace {

constexpr const char* kCannotDo = "Нельзя выполнить операцию";
constexpr const char* kPage = "page 103";

class Rs485Page : public ::testing::Test {
 protected:
  // The page shown for the RS-485 set as the test left it.
  RecordingControls& Show() {
    RecordingControls& page = h.Rs485();
    page.Activate();
    h.ui.Clear();
    return page;
  }
  PortSettings& Record() { return h.device.Rs485Set(); }
  CDlgRs485& Logic() { return h.sheet.Rs485Page(); }
  PortSettings Saved() {
    Logic().ExchangeSettings(&h.device, true, false);
    return Record();
  }
  // The boxes and beeps since the last Clear, in order ("beep" for a beep).
  std::vector<Box> Seen() {
    std::vector<Box> out;
    for (const UiEvent& e : h.ui.Events())
      if (e.kind == UiEvent::box) out.push_back({e.text, e.caption, e.style, e.who});
      else if (e.kind == UiEvent::beep) out.push_back({"beep", "", e.style, e.who});
    return out;
  }

  // The page shown, then the user's entries; what they caused is forgotten.
  RecordingControls& ShowEntered(const std::vector<Shown>& entered) {
    RecordingControls& page = Show();
    EXPECT_TRUE(Enter(page, entered));
    h.ui.Clear();
    return page;
  }

  SheetHarness h{{1}};
};

TEST_F(Rs485Page, ControlsBeforeTheFirstLoad) {
  RecordingControls& page = h.Rs485();
  EXPECT_EQ(page.page().TemplateId(), IDD_RS485);
  EXPECT_EQ(page.Items(IDC_BAUD),
            (std::vector<std::string>{"2400", "4800", "9600", "14400", "19200", "28800", "38400",
                                      "57600", "115200"}));
  EXPECT_EQ(page.ItemData(IDC_BAUD, 8), 115200);
  EXPECT_EQ(page.Items(IDC_BYTESIZE), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(page.Items(IDC_PARITY),
            (std::vector<std::string>{"Отсутствует", "Нечетность", "Четность"}));
  EXPECT_EQ(page.Items(IDC_STOPBITS), (std::vector<std::string>{"1", "2"}));
  // No "DCON": the converter has no code for it.
  EXPECT_EQ(page.Items(IDC_PROTOCOL),
            (std::vector<std::string>{"RAVIK", "MODBUS-RTU", "MODBUS-ASCII"}));
  EXPECT_EQ(page.Items(IDC_ADDRESS_LENGTH), (std::vector<std::string>{"8 битный", "11 битный"}));
  for (int list : {IDC_BAUD, IDC_BYTESIZE, IDC_PARITY, IDC_STOPBITS, IDC_PROTOCOL,
                   IDC_ADDRESS_LENGTH})
    EXPECT_EQ(page.Selection(list), -1) << list;
  EXPECT_EQ(page.SpinRange(IDC_RS485_ADDRESS_SPIN), std::make_pair(0, 254));
  EXPECT_EQ(page.SpinRange(IDC_RS485_DELAY_SPIN), std::make_pair(0, 45));
  const std::pair<int, int> tips[] = {
      {IDC_BAUD, IDS_TIP_RS485_BAUD},     {IDC_BYTESIZE, IDS_TIP_BYTESIZE},
      {IDC_PARITY, IDS_TIP_PARITY},       {IDC_STOPBITS, IDS_TIP_STOPBITS},
      {IDC_PROTOCOL, IDS_TIP_PROTOCOL},   {IDC_ADDRESS_LENGTH, IDS_TIP_ADDRESS_LENGTH},
      {IDC_RS485_ADDRESS, IDS_TIP_ADDRESS}, {IDC_RS485_DELAY, IDS_TIP_DELAY}};
  for (auto [id, tip] : tips) EXPECT_EQ(page.Tooltip(id), tip) << id;
  EXPECT_TRUE(Logic().initialized);
}

struct LoadCase : NamedCase {
  PortSettings record;
  std::vector<Shown> shown;
  bool length_enabled;
  int max_address;
};

class Rs485Loads : public Rs485Page, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Rs485Loads, ShowsTheRecord) {
  const LoadCase& c = GetParam();
  Record() = c.record;
  Record().changed = true;
  RecordingControls& page = Show();
  EXPECT_EQ(Showing(page, c.shown), c.shown);
  EXPECT_EQ(page.Enabled(IDC_ADDRESS_LENGTH), c.length_enabled);
  EXPECT_EQ(page.SpinRange(IDC_RS485_ADDRESS_SPIN), std::make_pair(0, c.max_address));
  EXPECT_FALSE(Record().changed);
  // Filling the controls is not an edit.
  EXPECT_FALSE(Logic().modified);
  EXPECT_TRUE(h.Boxes().empty());
}

// The controls in the order baud, word length, parity, stop bits, protocol,
// address length, address, delay.
std::vector<Shown> Controls(const char* baud, const char* bits, const char* parity,
                            const char* stop, const char* protocol, const char* length,
                            const char* address, const char* delay) {
  return {{IDC_BAUD, baud},         {IDC_BYTESIZE, bits},
          {IDC_PARITY, parity},     {IDC_STOPBITS, stop},
          {IDC_PROTOCOL, protocol}, {IDC_ADDRESS_LENGTH, length},
          {IDC_RS485_ADDRESS, address}, {IDC_RS485_DELAY, delay}};
}

INSTANTIATE_TEST_SUITE_P(
    Records, Rs485Loads,
    ::testing::Values(
        LoadCase{{"Factory"}, {.baud = 9600, .bytesize = 8, .address = 16, .delay = 2},
                 Controls("9600", "8", "Отсутствует", "1", "RAVIK", "8 битный", "16", "2"), true,
                 254},
        LoadCase{{"SevenOddTwoEleven"}, {.baud = 19200, .bytesize = 7, .parity = 1, .stopbits = 2, .address = 2000,
                  .alen = 11, .delay = 45},
                 Controls("19200", "7", "Нечетность", "2", "RAVIK", "11 битный", "2000", "45"),
                 true, 2047},
        LoadCase{{"ModbusAscii"}, {.baud = 115200, .bytesize = 7, .parity = 2, .address = 0, .proto = 1, .delay = 0},
                 Controls("115200", "7", "Четность", "1", "MODBUS-ASCII", "8 битный", "0", "0"),
                 false, 254},
        // Values outside the lists show as the first item; an address out of range
        // shows as it is, for the checks to refuse.
        LoadCase{{"OutsideTheLists"}, {.baud = 2400, .bytesize = 9, .parity = 3, .stopbits = 1, .address = 300,
                  .alen = 16, .proto = 2},
                 Controls("2400", "8", "Отсутствует", "1", "MODBUS-RTU", "8 битный", "300", "2"),
                 false, 254},
        LoadCase{{"ProtocolCode3"}, {.baud = 4800, .bytesize = 8, .address = 7, .proto = 3},
                 Controls("4800", "8", "Отсутствует", "1", "RAVIK", "8 битный", "7", "2"), true,
                 254}),
    CaseName());

class Rs485DelayLoads : public Rs485Page, public ::testing::WithParamInterface<int> {};

TEST_P(Rs485DelayLoads, OutOfRangeBecomes20WithItsMessage) {
  const int delay = GetParam();
  Record().delay = delay;
  RecordingControls& page = h.Rs485();
  h.ui.Clear();
  page.Activate();
  EXPECT_EQ(h.Boxes(), (std::vector<Box>{{"Задержка " + std::to_string(delay) +
                                              " вне допустимого диапазона.\n"
                                              "Будет установлено значение задержки равное 20",
                                          "Неверныое значение задержки", kNoticeIconError,
                                          kPage}}));
  EXPECT_EQ(Record().delay, 20);
  EXPECT_EQ(page.Text(IDC_RS485_DELAY), "20");
  EXPECT_EQ(page.SpinPos(IDC_RS485_DELAY_SPIN), 20);
  EXPECT_EQ(page.FocusedControl(), IDC_RS485_DELAY);
}

INSTANTIATE_TEST_SUITE_P(Delays, Rs485DelayLoads, ::testing::Values(-1, 46, 1000));

TEST_F(Rs485Page, DelaysAtTheLimitsLoadUnchanged) {
  RecordingControls& page = h.Rs485();
  for (int delay : {0, 45}) {
    Record().delay = delay;
    Record().changed = true;
    page.Activate();
    EXPECT_EQ(page.Text(IDC_RS485_DELAY), std::to_string(delay));
    EXPECT_EQ(Record().delay, delay);
  }
  EXPECT_TRUE(h.Boxes().empty());
}

TEST_F(Rs485Page, ABaudNotInTheListKeepsThePreviousSelection) {
  Record().baud = 1200;
  RecordingControls& page = Show();
  EXPECT_EQ(page.Selection(IDC_BAUD), -1);
  // Saved without a rate chosen, the record takes none.
  page.Type(IDC_RS485_ADDRESS, "17");
  EXPECT_EQ(Saved().baud, 0);

  for (int baud : {38400, 1200}) {
    Record().baud = baud;
    Record().changed = true;
    page.Activate();
    EXPECT_EQ(page.Selected(IDC_BAUD), "38400") << baud;
  }
}

// A set whose rate the list does not offer shows no rate: the page is not left,
// and the sheet does not apply it, until the user chooses one. This check comes
// before the others.
TEST_F(Rs485Page, NoRateChosenIsRefusedFirst) {
  Record().baud = 1200;
  RecordingControls& page = Show();
  ASSERT_EQ(page.Selection(IDC_BAUD), -1);
  ASSERT_TRUE(page.Type(IDC_RS485_ADDRESS, ""));
  h.ui.Clear();
  const Box refusal{"Недопустимое значение скорости обмена\nвыберите скорость обмена из списка",
                    kCannotDo, kNoticeIconError, kPage};
  EXPECT_FALSE(page.Leave());
  EXPECT_EQ(h.Boxes(), std::vector<Box>{refusal});
  EXPECT_EQ(page.FocusedControl(), IDC_BAUD);
  page.Focus(0);
  h.ui.Clear();
  EXPECT_FALSE(Logic().Validate());
  EXPECT_EQ(h.Boxes(), std::vector<Box>{refusal});
  EXPECT_EQ(page.FocusedControl(), IDC_BAUD);

  ASSERT_TRUE(Enter(page, {{IDC_BAUD, "2400"}, {IDC_RS485_ADDRESS, "17"}}));
  h.ui.Clear();
  EXPECT_TRUE(page.Leave());
  EXPECT_TRUE(h.Boxes().empty());
  EXPECT_EQ(Saved().baud, 2400);
}

TEST_F(Rs485Page, LoadsOnlyWhenDue) {
  RecordingControls& page = Show();
  page.Type(IDC_RS485_ADDRESS, "33");
  Record().address = 44;
  page.Activate();  // unchanged record: the edit keeps what the user typed
  EXPECT_EQ(page.Text(IDC_RS485_ADDRESS), "33");
  Record().changed = true;
  page.Activate();
  EXPECT_EQ(page.Text(IDC_RS485_ADDRESS), "44");
}

TEST_F(Rs485Page, SavesWhatTheUserChose) {
  RecordingControls& page = Show();
  const PortSettings before = Record();
  EXPECT_EQ(Saved(), before);  // nothing stored while the page is not modified

  ASSERT_TRUE(Enter(page, Controls("57600", "7", "Четность", "2", "RAVIK", "11 битный", "1500",
                                   "30")));
  PortSettings expected = WithLine(before, 57600, 7, 2, 2, 1500, 11);
  expected.delay = 30;
  EXPECT_EQ(Saved(), expected);

  const std::pair<const char*, int> protocols[] = {
      {"MODBUS-RTU", 2}, {"MODBUS-ASCII", 1}, {"RAVIK", 0}};
  for (auto [item, proto] : protocols) {
    page.ChooseText(IDC_PROTOCOL, item);
    EXPECT_EQ(Saved().proto, proto) << item;
  }
  ASSERT_TRUE(Enter(page, {{IDC_PARITY, "Нечетность"}, {IDC_STOPBITS, "1"}}));
  EXPECT_EQ(Saved().parity, 1);
  EXPECT_EQ(Record().stopbits, 0);
}

TEST_F(Rs485Page, SavingADelayOutOfRangeStores20) {
  RecordingControls& page = Show();
  page.Type(IDC_RS485_DELAY, "99");
  EXPECT_EQ(Saved().delay, 20);
  ASSERT_EQ(h.Boxes().size(), 1u);
  EXPECT_EQ(h.Boxes()[0].caption, "Неверныое значение задержки");
  EXPECT_EQ(page.Text(IDC_RS485_DELAY), "20");
  EXPECT_EQ(page.SpinPos(IDC_RS485_DELAY_SPIN), 20);
}

struct LeaveCase : NamedCase {
  std::vector<Shown> entered;
  std::vector<Box> boxes;  // none when the page may be left
  int focus;               // 0: the focus does not move
  const char* delay_after;
};

class Rs485Leaves : public Rs485Page, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(Rs485Leaves, ChecksInOrder) {
  const LeaveCase& c = GetParam();
  RecordingControls& page = ShowEntered(c.entered);
  const int focus_before = page.FocusedControl();
  EXPECT_EQ(page.Leave(), c.boxes.empty());
  EXPECT_EQ(h.Boxes(), c.boxes);
  EXPECT_EQ(page.FocusedControl(), c.focus ? c.focus : focus_before);
  EXPECT_EQ(page.Text(IDC_RS485_DELAY), c.delay_after);
}

// The address length, the address and the delay the user entered.
std::vector<Shown> Entered(const char* length, const char* address, const char* delay) {
  return {{IDC_ADDRESS_LENGTH, length}, {IDC_RS485_ADDRESS, address}, {IDC_RS485_DELAY, delay}};
}

Box Refusal(const std::string& text) { return {text, kCannotDo, kNoticeIconError, kPage}; }
const Box kEmptyField{"Пустое значение поля", "Продолжение невозможно", kNoticeIconError, kPage};

INSTANTIATE_TEST_SUITE_P(
    Cases, Rs485Leaves,
    ::testing::Values(
        LeaveCase{{"EmptyAddressFirst"}, Entered("8 битный", "", ""), {kEmptyField},
                  IDC_RS485_ADDRESS, ""},
        LeaveCase{{"EmptyDelayBeforeRange"}, Entered("8 битный", "999", ""), {kEmptyField},
                  IDC_RS485_DELAY, ""},
        LeaveCase{{"Address255In8Bits"}, Entered("8 битный", "255", "2"),
                  {Refusal("Недопустимое значение сетевого адреса: 255\n"
                           "правильное значение при данном типе адресации от 0 до 254")},
                  0, "2"},
        LeaveCase{{"Address254In8Bits"}, Entered("8 битный", "254", "2"), {}, 0, "2"},
        LeaveCase{{"Address2047In11Bits"}, Entered("11 битный", "2047", "2"), {}, 0, "2"},
        LeaveCase{{"Address2048In11Bits"}, Entered("11 битный", "2048", "2"),
                  {Refusal("Недопустимое значение сетевого адреса: 2048\n"
                           "правильное значение при данном типе адресации от 0 до 2047")},
                  0, "2"},
        LeaveCase{{"HugeAddress"}, Entered("11 битный", "99999999999", "2"),
                  {Refusal("Недопустимое значение сетевого адреса: 2147483647\n"
                           "правильное значение при данном типе адресации от 0 до 2047")},
                  0, "2"},
        LeaveCase{{"Delay46"}, Entered("8 битный", "10", "46"),
                  {Refusal("Недопустимое значение задержки: 46\nправильное значение от 0 до 45")},
                  IDC_RS485_DELAY, "20"},
        LeaveCase{{"DelayNegative"}, Entered("8 битный", "10", "-1"),
                  {Refusal("Недопустимое значение задержки: -1\nправильное значение от 0 до 45")},
                  IDC_RS485_DELAY, "20"}),
    CaseName());

TEST_F(Rs485Page, ModbusTakesAnEightBitAddress) {
  Record().alen = 11;
  Record().address = 2000;
  RecordingControls& page = Show();
  ASSERT_EQ(page.Selected(IDC_ADDRESS_LENGTH), "11 битный");
  page.ChooseText(IDC_PROTOCOL, "MODBUS-RTU");
  const std::vector<Shown> modbus = {{IDC_ADDRESS_LENGTH, "8 битный"}, {IDC_RS485_ADDRESS, "250"}};
  EXPECT_EQ(Showing(page, modbus), modbus);
  EXPECT_EQ(page.SpinRange(IDC_RS485_ADDRESS_SPIN), std::make_pair(0, 254));
  EXPECT_FALSE(page.Enabled(IDC_ADDRESS_LENGTH));
  EXPECT_TRUE(Logic().modified);

  page.ChooseText(IDC_PROTOCOL, "RAVIK");
  EXPECT_TRUE(page.Enabled(IDC_ADDRESS_LENGTH));
  EXPECT_EQ(page.Selected(IDC_ADDRESS_LENGTH), "8 битный");
  EXPECT_TRUE(h.Boxes().empty());
}

struct WordLengthCase : NamedCase {
  std::vector<Shown> entered;
  const char* text;
  const char* corrected;
  int bytesize;
};

class Rs485WordLength : public Rs485Page, public ::testing::WithParamInterface<WordLengthCase> {};

TEST_P(Rs485WordLength, TheProtocolCorrectsItAndTheNextLeavePasses) {
  const WordLengthCase& c = GetParam();
  RecordingControls& page = ShowEntered(c.entered);
  EXPECT_FALSE(page.Leave());
  EXPECT_EQ(h.Boxes(), std::vector<Box>{Refusal(c.text)});
  EXPECT_EQ(page.Selected(IDC_BYTESIZE), c.corrected);
  // The correction reaches the record at once, and leaves the list as enabled as it was.
  EXPECT_EQ(Record().bytesize, c.bytesize);
  EXPECT_TRUE(page.Enabled(IDC_BYTESIZE));
  EXPECT_GT(page.Redraws(IDC_BYTESIZE), 0);
  EXPECT_GT(page.Redraws(0), 0);
  EXPECT_TRUE(page.Leave());
  EXPECT_EQ(h.Boxes().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, Rs485WordLength,
    ::testing::Values(WordLengthCase{{"Ascii"}, {{IDC_BYTESIZE, "8"}, {IDC_PROTOCOL, "MODBUS-ASCII"}},
                                     "Недопустимое значение длинны слова данных: 8\n"
                                     "Для протокола Modbus-ASCII правильное значение 7",
                                     "7", 7},
                      WordLengthCase{{"Rtu"}, {{IDC_BYTESIZE, "7"}, {IDC_PROTOCOL, "MODBUS-RTU"}},
                                     "Недопустимое значение длинны слова данных: 7\n"
                                     "Для протокола Modbus-RTU правильное значение 8",
                                     "8", 8}),
    CaseName());

TEST_F(Rs485Page, TheWordLengthCorrectionKeepsADisabledListDisabled) {
  RecordingControls& page = ShowEntered({{IDC_BYTESIZE, "8"}, {IDC_PROTOCOL, "MODBUS-ASCII"}});
  page.Enable(IDC_BYTESIZE, false);
  EXPECT_FALSE(page.Leave());
  EXPECT_EQ(page.Selected(IDC_BYTESIZE), "7");
  EXPECT_FALSE(page.Enabled(IDC_BYTESIZE));
}

struct FrameStep {
  Shown choice;
  bool warns;
};

// From 8 bits, no parity, one stop bit, the user changes one list after another.
struct FrameCase : NamedCase {
  std::vector<FrameStep> steps;
};

class Rs485Frames : public Rs485Page, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(Rs485Frames, UnsupportedFramesWarnAndBeep) {
  RecordingControls& page = Show();
  const std::vector<Box> warning = {
      {"Внимание, этот режим не поддерживается KV4T!", "Неверные сетевые настройки (1)",
       kNoticeIconWarning, kPage},
      {"beep", "", kNoticeIconError, kPage}};
  for (const FrameStep& step : GetParam().steps) {
    h.ui.Clear();
    ASSERT_TRUE(Enter(page, {step.choice}));
    EXPECT_EQ(Seen(), step.warns ? warning : std::vector<Box>{}) << step.choice;
    EXPECT_EQ(Showing(page, {step.choice})[0], step.choice);  // the choice stays
    EXPECT_TRUE(Logic().modified);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Rs485Frames,
    ::testing::Values(
        FrameCase{{"SevenBits"}, {{{IDC_BYTESIZE, "7"}, true}}},
        FrameCase{{"StopBitsLast"},
                  {{{IDC_STOPBITS, "2"}, false},
                   {{IDC_BYTESIZE, "7"}, false},
                   {{IDC_STOPBITS, "1"}, true}}},
        FrameCase{{"ParityBack"},
                  {{{IDC_BYTESIZE, "7"}, true},
                   {{IDC_PARITY, "Четность"}, false},
                   {{IDC_PARITY, "Отсутствует"}, true}}},
        FrameCase{{"EightBitsTwoStops"},
                  {{{IDC_STOPBITS, "2"}, false},
                   {{IDC_PARITY, "Нечетность"}, true},
                   {{IDC_PARITY, "Четность"}, true},
                   {{IDC_BYTESIZE, "7"}, false}}},
        // The address length runs the check too.
        FrameCase{{"AddressLength"},
                  {{{IDC_BYTESIZE, "7"}, true}, {{IDC_ADDRESS_LENGTH, "11 битный"}, true}}}),
    CaseName());

TEST_F(Rs485Page, EveryChangeMarksThePageModified) {
  RecordingControls& page = Show();
  auto changes = std::vector<std::function<void()>>{
      [&] { page.ChooseText(IDC_BAUD, "2400"); },
      [&] { page.ChooseText(IDC_PARITY, "Четность"); },
      [&] { page.ChooseText(IDC_ADDRESS_LENGTH, "11 битный"); },
      [&] { page.ChooseText(IDC_PROTOCOL, "MODBUS-RTU"); },
      [&] { page.Type(IDC_RS485_ADDRESS, "3"); },
      [&] { page.SpinTo(IDC_RS485_DELAY_SPIN, 7); },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    Logic().SetModified(false);
    h.ui.Clear();
    changes[i]();
    EXPECT_TRUE(Logic().modified) << i;
    const std::vector<int> sent = h.Notifications();
    EXPECT_FALSE(sent.empty()) << i;
    for (int code : sent) EXPECT_EQ(code, WM_PAGE_MODIFIED) << i;
  }
}

TEST_F(Rs485Page, ALoadAnnouncesTheModifiedState) {
  RecordingControls& page = Show();
  page.Activate();
  EXPECT_EQ(h.Notifications(), std::vector<int>{WM_PAGE_CLEAN});
  page.Type(IDC_RS485_ADDRESS, "5");
  h.ui.Clear();
  page.Activate();
  EXPECT_EQ(h.Notifications(), std::vector<int>{WM_PAGE_MODIFIED});
}

TEST_F(Rs485Page, AnAddressCorrectedByTheDeviceIsShown) {
  RecordingControls& page = Show();
  Logic().OnAddressCorrected(254);
  EXPECT_EQ(page.Text(IDC_RS485_ADDRESS), "254");
  EXPECT_EQ(page.FocusedControl(), IDC_RS485_DELAY);
}

}  // namespace
