// The current-loop page without a converter: the type list from the catalogue,
// the refill rules when the instrument or the rate changes, load, save and the
// polling-interval check.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/program_strings.h"
#include "common/resource_ids.h"
#include "pages/dlg_loop.h"
#include "tests/pages/line_page_support.h"

namespace {

using line_pages::PageFixture;

const std::vector<std::string> kZr40Bauds = {"2400", "4800", "9600", "19200"};
const std::vector<std::string> kTm12Bauds = {"1200", "2400", "4800"};

class LoopPage : public PageFixture<CDlgLoop> {
 protected:
  PortSettings& Loop() { return device->LoopSet(); }

  void SetLoop(const char* devtype, const char* fwver, int baud, int bytesize, int parity,
               int stopbits, int poll) {
    PortSettings& loop = Loop();
    loop.devtype = devtype;
    loop.fwver = fwver;
    loop.baud = baud;
    loop.bytesize = bytesize;
    loop.parity = parity;
    loop.stopbits = stopbits;
    loop.delay = poll;
  }

  // The page created and shown once.
  void Show() {
    ASSERT_TRUE(controls->Create());
    ASSERT_TRUE(controls->Activate());
  }

  bool ExchangeListsEnabled(bool enabled) {
    for (int id : {IDC_BAUD, IDC_BYTESIZE, IDC_PARITY, IDC_STOPBITS})
      if (controls->Enabled(id) != enabled) return false;
    return true;
  }
};

TEST_F(LoopPage, CreationFillsTheListsAndLeavesThePageClean) {
  ASSERT_TRUE(controls->Create());
  EXPECT_EQ(controls->Items(IDC_LOOP_TYPE),
            (std::vector<std::string>{"ZR-40 (ZR40A12)", "TM-12 (TM12V1)"}));
  EXPECT_EQ(controls->Items(IDC_BYTESIZE), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(controls->Items(IDC_PARITY),
            (std::vector<std::string>{"Отсутствует", "Нечетность", "Четность"}));
  EXPECT_EQ(controls->Items(IDC_STOPBITS), (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(controls->Items(IDC_BAUD).empty());
  EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(1, 1000));
  EXPECT_EQ(controls->Text(IDC_LOOP_POLL), "2");
  EXPECT_EQ(controls->Tooltip(IDC_LOOP_TYPE), IDS_TIP_LOOP_TYPE);
  EXPECT_EQ(controls->Tooltip(IDC_BAUD), IDS_TIP_LOOP_BAUD);
  EXPECT_EQ(controls->Tooltip(IDC_LOOP_POLL), IDS_TIP_LOOP_POLL);
  EXPECT_FALSE(page->modified);
  EXPECT_TRUE(Notifications().empty());
}

// The page's own initialisation registers a tooltip for each of its lists and its
// polling edit, with these texts; the spin and the read button have none.
TEST_F(LoopPage, InitialisationRegistersTheTooltips) {
  ASSERT_TRUE(controls->Create());
  const std::pair<int, const char*> tips[] = {
      {IDC_LOOP_TYPE, "Тип прибора, подключенного к KV4T"},
      {IDC_BAUD, "Скорость обмена с прибором"},
      {IDC_BYTESIZE, "Длина слова данных"},
      {IDC_PARITY, "Тип контроля четности данных"},
      {IDC_STOPBITS, "Количество стоповых бит"},
      {IDC_LOOP_POLL, "Частота опроса прибора, подключенного к KV4T"},
  };
  for (auto [id, text] : tips) {
    const char* registered = ProgramTextUtf8(controls->Tooltip(id));
    EXPECT_STREQ(registered ? registered : "(none)", text) << "control " << id;
  }
  EXPECT_EQ(controls->Tooltip(IDC_LOOP_POLL_SPIN), 0);
  EXPECT_EQ(controls->Tooltip(IDC_LOOP_READ), 0);
}

TEST_F(LoopPage, StoredPollingValueOfMinusOneBecomesThree) {
  Loop().delay = -1;
  ASSERT_TRUE(controls->Create());
  EXPECT_EQ(Loop().delay, 3);
  EXPECT_EQ(controls->SpinPos(IDC_LOOP_POLL_SPIN), 3);
  EXPECT_EQ(controls->Text(IDC_LOOP_POLL), "3");
  EXPECT_FALSE(page->modified);
}

TEST_F(LoopPage, LoadShowsTheRecordOverTheInstrumentDefaults) {
  SetLoop("ZR-40", "ZR40A12", 4800, 7, 1, 0, 12);
  Show();
  EXPECT_EQ(controls->Selected(IDC_LOOP_TYPE), "ZR-40 (ZR40A12)");
  EXPECT_EQ(controls->Items(IDC_BAUD), kZr40Bauds);
  EXPECT_EQ(controls->Selected(IDC_BAUD), "4800");
  EXPECT_EQ(controls->Selected(IDC_BYTESIZE), "7");
  EXPECT_EQ(controls->Selected(IDC_PARITY), "Нечетность");
  EXPECT_EQ(controls->Selected(IDC_STOPBITS), "1");
  EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(3, 1000));
  EXPECT_EQ(controls->Text(IDC_LOOP_POLL), "12");
  EXPECT_TRUE(ExchangeListsEnabled(true));
  EXPECT_TRUE(ui.Boxes().empty());
  EXPECT_FALSE(page->modified);
  EXPECT_EQ(Notifications(), std::vector<int>{WM_PAGE_CLEAN});
}

TEST_F(LoopPage, UnknownInstrumentOnTheFirstLoadWarnsOnce) {
  SetLoop("XX-1", "XX1", 4800, 7, 2, 2, 5);
  Show();
  const auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Прочитан или установлен неизвестный тип прибора!");
  EXPECT_EQ(boxes[0].caption, "Предупреждение");
  EXPECT_EQ(boxes[0].style, kNoticeIconWarning);
  EXPECT_EQ(controls->Selection(IDC_LOOP_TYPE), -1);
  EXPECT_TRUE(controls->Items(IDC_BAUD).empty());
  EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(1, 1000));
  // The exchange parameters are still shown.
  EXPECT_EQ(controls->Selected(IDC_BYTESIZE), "7");
  EXPECT_EQ(controls->Selected(IDC_PARITY), "Четность");
  EXPECT_EQ(controls->Selected(IDC_STOPBITS), "2");
  EXPECT_EQ(controls->Text(IDC_LOOP_POLL), "5");

  ASSERT_TRUE(controls->Activate());  // nothing changed: no refill, no second warning
  EXPECT_EQ(ui.Boxes().size(), 1u);
}

TEST_F(LoopPage, UnknownInstrumentKeepsThePreviousChoice) {
  Show();
  controls->Choose(IDC_LOOP_TYPE, 1);
  SetLoop("XX-1", "XX1", 1200, 8, 0, 0, 9);
  Loop().changed = true;
  ASSERT_TRUE(controls->Activate());
  EXPECT_EQ(ui.Boxes().size(), 1u);
  EXPECT_EQ(controls->Selected(IDC_LOOP_TYPE), "TM-12 (TM12V1)");
  EXPECT_EQ(controls->Selected(IDC_BAUD), "1200");
}

struct TypeChange {
  int baud_before;         // rate selected on ZR-40
  const char* baud_after;  // rate selected once TM-12 is chosen
};

void PrintTo(const TypeChange& c, std::ostream* os) { *os << c.baud_before << " baud"; }

class LoopTypeChange : public LoopPage, public ::testing::WithParamInterface<TypeChange> {};

TEST_P(LoopTypeChange, KeepsAnAllowedRateElseTakesTheDefault) {
  SetLoop("ZR-40", "ZR40A12", GetParam().baud_before, 8, 0, 2, 10);
  Show();
  ui.Clear();
  ASSERT_TRUE(controls->Choose(IDC_LOOP_TYPE, 1));
  EXPECT_EQ(controls->Items(IDC_BAUD), kTm12Bauds);
  EXPECT_EQ(controls->Selected(IDC_BAUD), std::string(GetParam().baud_after));
  // The line settings return to the new instrument's defaults.
  EXPECT_EQ(controls->Selected(IDC_BYTESIZE), "7");
  EXPECT_EQ(controls->Selected(IDC_PARITY), "Четность");
  EXPECT_EQ(controls->Selected(IDC_STOPBITS), "1");
  EXPECT_TRUE(page->modified);
  EXPECT_EQ(Notifications(), std::vector<int>{WM_PAGE_MODIFIED});
}

INSTANTIATE_TEST_SUITE_P(Rates, LoopTypeChange,
                         ::testing::Values(TypeChange{4800, "4800"}, TypeChange{2400, "2400"},
                                           TypeChange{9600, "2400"}, TypeChange{19200, "2400"}),
                         [](const auto& info) {
                           return "From" + std::to_string(info.param.baud_before);
                         });

TEST_F(LoopPage, FlagsZeroDisableTheListsWhichStillShowAndSave) {
  SetLoop("TM-12", "TM12V1", 4800, 8, 1, 2, 20);
  Show();
  EXPECT_TRUE(ExchangeListsEnabled(false));
  EXPECT_EQ(controls->Selected(IDC_BAUD), "4800");
  EXPECT_EQ(controls->Selected(IDC_BYTESIZE), "8");
  ASSERT_TRUE(controls->Type(IDC_LOOP_POLL, "30"));
  EXPECT_TRUE(page->modified);
  Loop() = PortSettings{};
  page->ExchangeSettings(device.get(), true, false);
  EXPECT_EQ(Loop(), (PortSettings{.devtype = "TM-12", .fwver = "TM12V1", .baud = 4800,
                                  .bytesize = 8, .parity = 1, .stopbits = 2, .delay = 30}));
  // Choosing ZR-40 enables them again.
  ASSERT_TRUE(controls->Choose(IDC_LOOP_TYPE, 0));
  EXPECT_TRUE(ExchangeListsEnabled(true));
}

TEST_F(LoopPage, PollingRangeFollowsTheRate) {
  SetLoop("ZR-40", "ZR40A12", 2400, 8, 0, 2, 10);
  Show();
  EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(5, 1000));
  const std::pair<const char*, std::pair<int, int>> cases[] = {
      {"4800", {3, 1000}},
      {"9600", {2, 1000}},  // minpolls -1: the instrument's pollmin
      {"19200", {1, 1000}},
  };
  for (const auto& [rate, range] : cases) {
    ASSERT_TRUE(controls->ChooseText(IDC_BAUD, rate));
    EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), range) << rate;
    EXPECT_EQ(controls->Text(IDC_LOOP_POLL), "10") << rate;
  }
  EXPECT_TRUE(page->modified);
  // A stored rate the instrument does not list: pollmin too.
  SetLoop("TM-12", "TM12V1", 9600, 8, 0, 0, 10);
  Loop().changed = true;
  ASSERT_TRUE(controls->Activate());
  EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(4, 600));
}

TEST_F(LoopPage, SaveStoresTheChoiceOnlyWhenModified) {
  SetLoop("ZR-40", "ZR40A12", 9600, 8, 0, 2, 10);
  Show();
  const PortSettings before = Loop();
  page->ExchangeSettings(device.get(), true, false);
  EXPECT_EQ(Loop(), before);

  ASSERT_TRUE(controls->ChooseText(IDC_BAUD, "19200"));
  ASSERT_TRUE(controls->Choose(IDC_BYTESIZE, 0));
  ASSERT_TRUE(controls->Choose(IDC_PARITY, 2));
  ASSERT_TRUE(controls->Choose(IDC_STOPBITS, 0));
  ASSERT_TRUE(controls->SpinTo(IDC_LOOP_POLL_SPIN, 45));
  page->ExchangeSettings(device.get(), true, false);
  PortSettings expected = before;
  expected.baud = 19200;
  expected.bytesize = 7;
  expected.parity = 2;
  expected.stopbits = 0;
  expected.delay = 45;
  EXPECT_EQ(Loop(), expected);
}

// The checks allow 1 to 60 seconds whatever the instrument's spin range is; the
// interval stored is the number that passed them, also outside that range (which
// the spin does not take as its position).
TEST_F(LoopPage, SaveStoresThePollingIntervalThatWasChecked) {
  SetLoop("ZR-40", "ZR40A12", 4800, 8, 0, 2, 12);
  Show();
  ASSERT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(3, 1000));
  for (const char* typed : {"2", "1", "60", "7"}) {
    ASSERT_TRUE(controls->Type(IDC_LOOP_POLL, typed));
    ASSERT_TRUE(page->Validate()) << typed;
    page->ExchangeSettings(device.get(), true, false);
    EXPECT_EQ(Loop().delay, std::stoi(typed)) << typed;
  }
  EXPECT_TRUE(ui.Boxes().empty());
}

// An unknown instrument on the first load leaves the rate list empty: saving then
// keeps the record's rate instead of storing none.
TEST_F(LoopPage, SaveWithoutARateKeepsTheRecordsRate) {
  SetLoop("XX-1", "XX1", 4800, 8, 0, 0, 5);
  Show();
  ASSERT_TRUE(controls->Choose(IDC_PARITY, 1));
  page->ExchangeSettings(device.get(), true, false);
  EXPECT_EQ(Loop().baud, 4800);
  EXPECT_EQ(Loop().devtype, "XX-1");
  EXPECT_EQ(Loop().parity, 1);
}

struct PollCase {
  const char* name;
  const char* text;
  bool accepted;
  const char* message;
  const char* caption;
};

void PrintTo(const PollCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class LoopValidation : public LoopPage, public ::testing::WithParamInterface<PollCase> {};

TEST_P(LoopValidation, PollingIntervalFromOneToSixty) {
  const PollCase& c = GetParam();
  SetLoop("ZR-40", "ZR40A12", 9600, 8, 0, 2, 10);  // the instrument allows up to 1000
  Show();
  ASSERT_TRUE(controls->Type(IDC_LOOP_POLL, c.text));
  EXPECT_EQ(controls->Leave(), c.accepted);
  EXPECT_EQ(page->Validate(), c.accepted);
  const auto boxes = ui.Boxes();
  if (c.accepted) {
    EXPECT_TRUE(boxes.empty());
    return;
  }
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, c.message);
  EXPECT_EQ(boxes[0].caption, c.caption);
  EXPECT_EQ(boxes[0].style, kNoticeIconError);
  EXPECT_EQ(controls->FocusedControl(), IDC_LOOP_POLL);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoopValidation,
    ::testing::Values(
        PollCase{"One", "1", true, "", ""}, PollCase{"Sixty", "60", true, "", ""},
        PollCase{"SixtyOne", "61", false,
                 "Недопустимое значение частоты опроса: 61\nправильное значение от 1 до 60",
                 "Нельзя выполнить операцию"},
        PollCase{"Zero", "0", false,
                 "Недопустимое значение частоты опроса: 0\nправильное значение от 1 до 60",
                 "Нельзя выполнить операцию"},
        PollCase{"TooLongForANumber", "99999999999", false,
                 "Недопустимое значение частоты опроса: 0\nправильное значение от 1 до 60",
                 "Нельзя выполнить операцию"},
        PollCase{"Empty", "", false, "Пустое значение поля", "Продолжение невозможно"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
