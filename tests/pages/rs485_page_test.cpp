// The page "RS-485 KV4T" through its controls, as the user meets it: what it shows
// of the RS-485 set, what it stores back, and what it refuses.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "tests/pages/sheet_harness.h"

namespace {

using Page = CDlgRs485;

constexpr const char* kCannotDo = "Нельзя выполнить операцию";

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

  SheetHarness h{{1}};
};

TEST_F(Rs485Page, ControlsBeforeTheFirstLoad) {
  RecordingControls& page = h.Rs485();
  EXPECT_EQ(page.Items(Page::kBaud),
            (std::vector<std::string>{"2400", "4800", "9600", "14400", "19200", "28800", "38400",
                                      "57600", "115200"}));
  EXPECT_EQ(page.page().TemplateId(), IDD_RS485);
  EXPECT_EQ(page.ItemData(Page::kBaud, 8), 115200);
  EXPECT_EQ(page.Items(Page::kByteSize), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(page.Items(Page::kParity),
            (std::vector<std::string>{"Отсутствует", "Нечетность", "Четность"}));
  EXPECT_EQ(page.Items(Page::kStopBits), (std::vector<std::string>{"1", "2"}));
  // No "DCON": the converter has no code for it.
  EXPECT_EQ(page.Items(Page::kProtocol),
            (std::vector<std::string>{"RAVIK", "MODBUS-RTU", "MODBUS-ASCII"}));
  EXPECT_EQ(page.Items(Page::kAddressLength), (std::vector<std::string>{"8 битный", "11 битный"}));
  for (int list : {Page::kBaud, Page::kByteSize, Page::kParity, Page::kStopBits, Page::kProtocol,
                   Page::kAddressLength})
    EXPECT_EQ(page.Selection(list), -1) << list;
  EXPECT_EQ(page.SpinRange(Page::kAddressSpin), std::make_pair(0, 254));
  EXPECT_EQ(page.SpinRange(Page::kDelaySpin), std::make_pair(0, 45));
  const std::pair<int, int> tips[] = {
      {Page::kBaud, IDS_TIP_RS485_BAUD},     {Page::kByteSize, IDS_TIP_BYTESIZE},
      {Page::kParity, IDS_TIP_PARITY},       {Page::kStopBits, IDS_TIP_STOPBITS},
      {Page::kProtocol, IDS_TIP_PROTOCOL},   {Page::kAddressLength, IDS_TIP_ADDRESS_LENGTH},
      {Page::kAddress, IDS_TIP_ADDRESS},     {Page::kDelay, IDS_TIP_DELAY}};
  for (auto [id, tip] : tips) EXPECT_EQ(page.Tooltip(id), tip) << id;
  EXPECT_TRUE(h.sheet.Rs485Page().initialized);
}

struct LoadCase {
  PortSettings record;
  const char* baud;
  const char* bits;
  const char* parity;
  const char* stop;
  const char* protocol;
  const char* length;
  bool length_enabled;
  int max_address;
};

class Rs485Loads : public Rs485Page, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Rs485Loads, ShowsTheRecord) {
  const LoadCase& c = GetParam();
  Record() = c.record;
  Record().changed = true;
  RecordingControls& page = Show();
  EXPECT_EQ(page.Selected(Page::kBaud), c.baud);
  EXPECT_EQ(page.Selected(Page::kByteSize), c.bits);
  EXPECT_EQ(page.Selected(Page::kParity), c.parity);
  EXPECT_EQ(page.Selected(Page::kStopBits), c.stop);
  EXPECT_EQ(page.Selected(Page::kProtocol), c.protocol);
  EXPECT_EQ(page.Selected(Page::kAddressLength), c.length);
  EXPECT_EQ(page.Enabled(Page::kAddressLength), c.length_enabled);
  EXPECT_EQ(page.SpinRange(Page::kAddressSpin), std::make_pair(0, c.max_address));
  EXPECT_EQ(page.Text(Page::kAddress), std::to_string(c.record.address));
  EXPECT_EQ(page.Text(Page::kDelay), std::to_string(c.record.delay));
  EXPECT_FALSE(Record().changed);
  // Filling the controls is not an edit.
  EXPECT_FALSE(Logic().modified);
  EXPECT_TRUE(h.ui.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Records, Rs485Loads,
    ::testing::Values(
        LoadCase{{.baud = 9600, .bytesize = 8, .address = 16, .delay = 2},
                 "9600", "8", "Отсутствует", "1", "RAVIK", "8 битный", true, 254},
        LoadCase{{.baud = 19200, .bytesize = 7, .parity = 1, .stopbits = 2, .address = 2000,
                  .alen = 11, .proto = 0, .delay = 45},
                 "19200", "7", "Нечетность", "2", "RAVIK", "11 битный", true, 2047},
        LoadCase{{.baud = 115200, .bytesize = 7, .parity = 2, .address = 0, .proto = 1, .delay = 0},
                 "115200", "7", "Четность", "1", "MODBUS-ASCII", "8 битный", false, 254},
        LoadCase{{.baud = 2400, .bytesize = 9, .parity = 3, .stopbits = 1, .address = 5,
                  .alen = 16, .proto = 2},
                 "2400", "8", "Отсутствует", "1", "MODBUS-RTU", "8 битный", false, 254},
        LoadCase{{.baud = 4800, .bytesize = 8, .address = 7, .proto = 3},
                 "4800", "8", "Отсутствует", "1", "RAVIK", "8 битный", true, 254}));

class Rs485DelayLoads : public Rs485Page, public ::testing::WithParamInterface<int> {};

TEST_P(Rs485DelayLoads, OutOfRangeBecomes20WithItsMessage) {
  const int delay = GetParam();
  Record().delay = delay;
  RecordingControls& page = h.Rs485();
  h.ui.Clear();
  page.Activate();
  const auto boxes = h.ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Задержка " + std::to_string(delay) +
                               " вне допустимого диапазона.\n"
                               "Будет установлено значение задержки равное 20");
  EXPECT_EQ(boxes[0].caption, "Неверныое значение задержки");
  EXPECT_EQ(boxes[0].style, kNoticeIconError);
  EXPECT_EQ(boxes[0].who, "page 103");
  EXPECT_EQ(Record().delay, 20);
  EXPECT_EQ(page.Text(Page::kDelay), "20");
  EXPECT_EQ(page.SpinPos(Page::kDelaySpin), 20);
  EXPECT_EQ(page.FocusedControl(), Page::kDelay);
}

INSTANTIATE_TEST_SUITE_P(Delays, Rs485DelayLoads, ::testing::Values(-1, 46, 1000));

TEST_F(Rs485Page, DelaysAtTheLimitsLoadUnchanged) {
  RecordingControls& page = h.Rs485();
  for (int delay : {0, 45}) {
    Record().delay = delay;
    Record().changed = true;
    page.Activate();
    EXPECT_EQ(page.Text(Page::kDelay), std::to_string(delay));
    EXPECT_EQ(Record().delay, delay);
  }
  EXPECT_TRUE(h.ui.Boxes().empty());
}

TEST_F(Rs485Page, ABaudNotInTheListKeepsThePreviousSelection) {
  Record().baud = 1200;
  RecordingControls& page = Show();
  EXPECT_EQ(page.Selection(Page::kBaud), -1);
  // Saved without a rate chosen, the record takes none.
  page.Type(Page::kAddress, "17");
  EXPECT_EQ(Saved().baud, 0);

  Record().baud = 38400;
  Record().changed = true;
  page.Activate();
  EXPECT_EQ(page.Selected(Page::kBaud), "38400");
  Record().baud = 1200;
  Record().changed = true;
  page.Activate();
  EXPECT_EQ(page.Selected(Page::kBaud), "38400");
}

TEST_F(Rs485Page, LoadsOnlyWhenDue) {
  RecordingControls& page = Show();
  page.Type(Page::kAddress, "33");
  Record().address = 44;
  page.Activate();  // unchanged record: the edit keeps what the user typed
  EXPECT_EQ(page.Text(Page::kAddress), "33");
  Record().changed = true;
  page.Activate();
  EXPECT_EQ(page.Text(Page::kAddress), "44");
}

TEST_F(Rs485Page, SavesWhatTheUserChose) {
  RecordingControls& page = Show();
  const PortSettings before = Record();
  EXPECT_EQ(Saved(), before);  // nothing stored while the page is not modified

  page.ChooseText(Page::kBaud, "57600");
  page.ChooseText(Page::kByteSize, "7");
  page.ChooseText(Page::kParity, "Четность");
  page.ChooseText(Page::kStopBits, "2");
  page.ChooseText(Page::kAddressLength, "11 битный");
  page.Type(Page::kAddress, "1500");
  page.Type(Page::kDelay, "30");
  PortSettings saved = Saved();
  EXPECT_EQ(saved.baud, 57600);
  EXPECT_EQ(saved.bytesize, 7);
  EXPECT_EQ(saved.parity, 2);
  EXPECT_EQ(saved.stopbits, 2);
  EXPECT_EQ(saved.alen, 11);
  EXPECT_EQ(saved.proto, 0);
  EXPECT_EQ(saved.address, 1500);
  EXPECT_EQ(saved.delay, 30);

  const std::pair<const char*, int> protocols[] = {
      {"MODBUS-RTU", 2}, {"MODBUS-ASCII", 1}, {"RAVIK", 0}};
  for (auto [item, proto] : protocols) {
    page.ChooseText(Page::kProtocol, item);
    EXPECT_EQ(Saved().proto, proto) << item;
  }
  page.ChooseText(Page::kParity, "Нечетность");
  page.ChooseText(Page::kStopBits, "1");
  saved = Saved();
  EXPECT_EQ(saved.parity, 1);
  EXPECT_EQ(saved.stopbits, 0);
}

TEST_F(Rs485Page, SavingADelayOutOfRangeStores20) {
  RecordingControls& page = Show();
  page.Type(Page::kDelay, "99");
  EXPECT_EQ(Saved().delay, 20);
  ASSERT_EQ(h.ui.Boxes().size(), 1u);
  EXPECT_EQ(h.ui.Boxes()[0].caption, "Неверныое значение задержки");
  EXPECT_EQ(page.Text(Page::kDelay), "20");
  EXPECT_EQ(page.SpinPos(Page::kDelaySpin), 20);
}

struct LeaveCase {
  const char* name;
  const char* address;
  const char* delay;
  const char* length;
  const char* text;     // "" when the page may be left
  const char* caption;
  int focus;            // 0: the focus does not move
  const char* delay_after;
};

class Rs485Leaves : public Rs485Page, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(Rs485Leaves, ChecksInOrder) {
  const LeaveCase& c = GetParam();
  RecordingControls& page = Show();
  page.ChooseText(Page::kAddressLength, c.length);
  page.Type(Page::kAddress, c.address);
  page.Type(Page::kDelay, c.delay);
  h.ui.Clear();
  const int focus_before = page.FocusedControl();
  const bool left = page.Leave();
  const auto boxes = h.ui.Boxes();
  if (!*c.text) {
    EXPECT_TRUE(left);
    EXPECT_TRUE(boxes.empty());
    return;
  }
  EXPECT_FALSE(left);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, c.text);
  EXPECT_EQ(boxes[0].caption, c.caption);
  EXPECT_EQ(boxes[0].style, kNoticeIconError);
  EXPECT_EQ(page.FocusedControl(), c.focus ? c.focus : focus_before);
  EXPECT_EQ(page.Text(Page::kDelay), c.delay_after);
}

constexpr const char* kEmpty = "Пустое значение поля";
constexpr const char* kNoContinue = "Продолжение невозможно";

INSTANTIATE_TEST_SUITE_P(
    Cases, Rs485Leaves,
    ::testing::Values(
        LeaveCase{"EmptyAddressFirst", "", "", "8 битный", kEmpty, kNoContinue, Page::kAddress, ""},
        LeaveCase{"EmptyDelayBeforeRange", "999", "", "8 битный", kEmpty, kNoContinue,
                  Page::kDelay, ""},
        LeaveCase{"Address255In8Bits", "255", "2", "8 битный",
                  "Недопустимое значение сетевого адреса: 255\n"
                  "правильное значение при данном типе адресации от 0 до 254",
                  kCannotDo, 0, "2"},
        LeaveCase{"Address254In8Bits", "254", "2", "8 битный", "", "", 0, "2"},
        LeaveCase{"Address2047In11Bits", "2047", "2", "11 битный", "", "", 0, "2"},
        LeaveCase{"Address2048In11Bits", "2048", "2", "11 битный",
                  "Недопустимое значение сетевого адреса: 2048\n"
                  "правильное значение при данном типе адресации от 0 до 2047",
                  kCannotDo, 0, "2"},
        LeaveCase{"HugeAddress", "99999999999", "2", "11 битный",
                  "Недопустимое значение сетевого адреса: 2147483647\n"
                  "правильное значение при данном типе адресации от 0 до 2047",
                  kCannotDo, 0, "2"},
        LeaveCase{"Delay46", "10", "46", "8 битный",
                  "Недопустимое значение задержки: 46\nправильное значение от 0 до 45", kCannotDo,
                  Page::kDelay, "20"},
        LeaveCase{"DelayNegative", "10", "-1", "8 битный",
                  "Недопустимое значение задержки: -1\nправильное значение от 0 до 45", kCannotDo,
                  Page::kDelay, "20"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Rs485Page, ModbusTakesAnEightBitAddress) {
  Record().alen = 11;
  Record().address = 2000;
  RecordingControls& page = Show();
  ASSERT_EQ(page.Selected(Page::kAddressLength), "11 битный");
  page.ChooseText(Page::kProtocol, "MODBUS-RTU");
  EXPECT_EQ(page.Selected(Page::kAddressLength), "8 битный");
  EXPECT_EQ(page.Text(Page::kAddress), "250");
  EXPECT_EQ(page.SpinRange(Page::kAddressSpin), std::make_pair(0, 254));
  EXPECT_FALSE(page.Enabled(Page::kAddressLength));
  EXPECT_TRUE(Logic().modified);

  page.ChooseText(Page::kProtocol, "RAVIK");
  EXPECT_TRUE(page.Enabled(Page::kAddressLength));
  EXPECT_EQ(page.Selected(Page::kAddressLength), "8 битный");
  EXPECT_TRUE(h.ui.Boxes().empty());
}

struct WordLengthCase {
  const char* protocol;
  const char* chosen;
  const char* text;
  const char* corrected;
  int bytesize;
};

class Rs485WordLength : public Rs485Page, public ::testing::WithParamInterface<WordLengthCase> {};

TEST_P(Rs485WordLength, TheProtocolCorrectsItAndTheNextLeavePasses) {
  const WordLengthCase& c = GetParam();
  RecordingControls& page = Show();
  page.ChooseText(Page::kByteSize, c.chosen);
  page.ChooseText(Page::kProtocol, c.protocol);
  h.ui.Clear();
  EXPECT_FALSE(page.Leave());
  const auto boxes = h.ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, c.text);
  EXPECT_EQ(boxes[0].caption, kCannotDo);
  EXPECT_EQ(page.Selected(Page::kByteSize), c.corrected);
  // The correction reaches the record at once, and leaves the list as enabled as it was.
  EXPECT_EQ(Record().bytesize, c.bytesize);
  EXPECT_TRUE(page.Enabled(Page::kByteSize));
  EXPECT_GT(page.Redraws(Page::kByteSize), 0);
  EXPECT_GT(page.Redraws(0), 0);
  EXPECT_TRUE(page.Leave());
  EXPECT_EQ(h.ui.Boxes().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, Rs485WordLength,
    ::testing::Values(WordLengthCase{"MODBUS-ASCII", "8",
                                     "Недопустимое значение длинны слова данных: 8\n"
                                     "Для протокола Modbus-ASCII правильное значение 7",
                                     "7", 7},
                      WordLengthCase{"MODBUS-RTU", "7",
                                     "Недопустимое значение длинны слова данных: 7\n"
                                     "Для протокола Modbus-RTU правильное значение 8",
                                     "8", 8}));

TEST_F(Rs485Page, TheWordLengthCorrectionKeepsADisabledListDisabled) {
  RecordingControls& page = Show();
  page.ChooseText(Page::kByteSize, "8");
  page.ChooseText(Page::kProtocol, "MODBUS-ASCII");
  page.Enable(Page::kByteSize, false);
  EXPECT_FALSE(page.Leave());
  EXPECT_EQ(page.Selected(Page::kByteSize), "7");
  EXPECT_FALSE(page.Enabled(Page::kByteSize));
}

struct FrameCase {
  int list;
  const char* item;
  bool warns;
};

// From 8 bits, no parity, one stop bit, the user changes one list.
class Rs485Frames : public Rs485Page,
                    public ::testing::WithParamInterface<std::vector<FrameCase>> {};

TEST_P(Rs485Frames, UnsupportedFramesWarnAndBeep) {
  RecordingControls& page = Show();
  for (const FrameCase& step : GetParam()) {
    h.ui.Clear();
    ASSERT_TRUE(page.ChooseText(step.list, step.item));
    std::vector<UiEvent> seen;
    for (const UiEvent& e : h.ui.Events())
      if (e.kind == UiEvent::box || e.kind == UiEvent::beep) seen.push_back(e);
    if (!step.warns) {
      EXPECT_TRUE(seen.empty()) << step.item;
      continue;
    }
    ASSERT_EQ(seen.size(), 2u) << step.item;
    EXPECT_EQ(seen[0].kind, UiEvent::box);
    EXPECT_EQ(seen[0].text, "Внимание, этот режим не поддерживается KV4T!");
    EXPECT_EQ(seen[0].caption, "Неверные сетевые настройки (1)");
    EXPECT_EQ(seen[0].style, kNoticeIconWarning);
    EXPECT_EQ(seen[1].kind, UiEvent::beep);
    EXPECT_EQ(seen[1].style, kNoticeIconError);
    EXPECT_EQ(page.Selected(step.list), step.item);  // the choice stays
    EXPECT_TRUE(Logic().modified);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Rs485Frames,
    ::testing::Values(
        std::vector<FrameCase>{{Page::kByteSize, "7", true}},
        std::vector<FrameCase>{{Page::kStopBits, "2", false},
                               {Page::kByteSize, "7", false},
                               {Page::kStopBits, "1", true}},
        std::vector<FrameCase>{{Page::kByteSize, "7", true},
                               {Page::kParity, "Четность", false},
                               {Page::kParity, "Отсутствует", true}},
        std::vector<FrameCase>{{Page::kStopBits, "2", false},
                               {Page::kParity, "Нечетность", true},
                               {Page::kParity, "Четность", true},
                               {Page::kByteSize, "7", false}},
        // The address length runs the check too.
        std::vector<FrameCase>{{Page::kByteSize, "7", true},
                               {Page::kAddressLength, "11 битный", true}}));

TEST_F(Rs485Page, EveryChangeMarksThePageModified) {
  RecordingControls& page = Show();
  auto changes = std::vector<std::function<void()>>{
      [&] { page.ChooseText(Page::kBaud, "2400"); },
      [&] { page.ChooseText(Page::kParity, "Четность"); },
      [&] { page.ChooseText(Page::kAddressLength, "11 битный"); },
      [&] { page.ChooseText(Page::kProtocol, "MODBUS-RTU"); },
      [&] { page.Type(Page::kAddress, "3"); },
      [&] { page.SpinTo(Page::kDelaySpin, 7); },
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
  page.Type(Page::kAddress, "5");
  h.ui.Clear();
  page.Activate();
  EXPECT_EQ(h.Notifications(), std::vector<int>{WM_PAGE_MODIFIED});
}

TEST_F(Rs485Page, AnAddressCorrectedByTheDeviceIsShown) {
  RecordingControls& page = Show();
  h.ui.FieldCorrected(static_cast<CDlgPage*>(&Logic()), CorrectedField::kRs485Address, 254);
  EXPECT_EQ(page.Text(Page::kAddress), "254");
  EXPECT_EQ(page.FocusedControl(), Page::kDelay);
}

}  // namespace
