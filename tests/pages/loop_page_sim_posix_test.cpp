// The current-loop page's read button against the simulated converter on a
// pseudo-terminal: what a read shows, and that a failed read changes nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/resource_ids.h"
#include "pages/dlg_loop.h"
#include "sim/sim.h"
#include "tests/pages/line_page_support.h"
#include "tests/support/sim_lines.h"

namespace {

namespace sim = kv4t::sim;
using line_pages::PageFixture;

class LoopRead : public PageFixture<CDlgLoop> {
 protected:
  void TearDown() override {
    PageFixture<CDlgLoop>::TearDown();
    if (simulator) simulator->stop();
  }

  // A converter with the given options; the page shows a TM-12 with the user's
  // edits on it, so that a read has something to replace.
  void StartWithEditedPage(sim::Options options = {}) {
    simulator = std::make_unique<sim::Simulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(simulator->start(&error)) << error;
    device->LinkSet().port = simulator->slave_path();
    PortSettings& loop = device->LoopSet();
    loop.devtype = "TM-12";
    loop.fwver = "TM12V1";
    loop.baud = 1200;
    ASSERT_TRUE(controls->Create());
    ASSERT_TRUE(controls->Activate());
    ASSERT_TRUE(controls->Type(IDC_LOOP_POLL, "33"));
    ASSERT_TRUE(page->modified);
    ui.Clear();
  }

  // What the page shows, to compare before and after.
  std::vector<std::string> Shown() {
    return {controls->Selected(IDC_LOOP_TYPE), controls->Selected(IDC_BAUD),
            controls->Selected(IDC_BYTESIZE), controls->Selected(IDC_PARITY),
            controls->Selected(IDC_STOPBITS), controls->Text(IDC_LOOP_POLL)};
  }

  // Presses the read button on a read that fails: the page shows what it showed,
  // keeps its edits, and the sheet was busy around one message, which is returned.
  UiEvent ReadFails() {
    const std::vector<std::string> before = Shown();
    EXPECT_TRUE(controls->Press(IDC_LOOP_READ));
    EXPECT_EQ(Shown(), before);
    EXPECT_TRUE(page->modified);
    EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_IDLE}));
    const auto boxes = ui.Boxes();
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? UiEvent{} : boxes[0];
  }

  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(LoopRead, ShowsTheConvertersInstrumentAndLeavesThePageClean) {
  sim::Options options;
  options.loop_baud = 19200;
  options.loop_parity = sim::Parity::even;
  options.loop_poll = 7;
  StartWithEditedPage(options);
  PortSettings expected = device->LoopSet();
  ASSERT_TRUE(controls->Press(IDC_LOOP_READ));

  EXPECT_EQ(Shown(),
            (std::vector<std::string>{"ZR-40 (ZR40A12)", "19200", "8", "Четность", "2", "7"}));
  EXPECT_EQ(controls->SpinRange(IDC_LOOP_POLL_SPIN), std::make_pair(1, 1000));
  EXPECT_FALSE(page->modified);
  // The forced load re-announces the edits it replaces, then the page is clean.
  EXPECT_EQ(Notifications(),
            (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_MODIFIED, WM_PAGE_CLEAN, WM_PAGE_IDLE}));
  EXPECT_TRUE(ui.Boxes().empty());
  expected.devtype = sim::kFactoryLoopDevice;
  expected.fwver = sim::kFactoryLoopVersion;
  expected.baud = 19200;
  expected.bytesize = sim::kFactoryLoopBits;
  expected.parity = 2;
  expected.stopbits = 2;
  expected.delay = 7;
  EXPECT_EQ(device->LoopSet(), expected);
  // The read leaves the port open for the next operation.
  EXPECT_TRUE(device->connected);
}

TEST_F(LoopRead, FailedReadChangesNothing) {
  sim::Options options;
  options.faults.no_answer = {std::string(sim::kParamLoopDev)};
  StartWithEditedPage(options);
  const UiEvent box = ReadFails();
  EXPECT_EQ(box.who, "page 104");
  EXPECT_EQ(box.text,
            "Ошибка загрузки конфигурации подключенного прибора на интерфейсе токовая петля "
            "преобразователя KV4T.");
  EXPECT_EQ(box.caption, "Ошибка");
  EXPECT_EQ(box.style, kNoticeIconError);
}

// A converter that cannot be reached: only the device object's own message, owned
// by the sheet.
TEST_F(LoopRead, FailedConnectShowsOnlyTheDeviceMessage) {
  StartWithEditedPage();
  device->LinkSet().port = "/nonexistent/kv4t-line";
  const UiEvent box = ReadFails();
  EXPECT_EQ(box.who, "sheet");
  EXPECT_EQ(box.text, "Невозможно использовать порт \"/nonexistent/kv4t-line\".");
}

class LoopReadOnLine : public LoopRead, public ::testing::WithParamInterface<LineKind> {};

TEST_P(LoopReadOnLine, ShowsTheConvertersInstrument) {
  sim::Options options = OnLine(GetParam());
  options.loop_baud = 19200;
  options.loop_poll = 7;
  StartWithEditedPage(options);
  ASSERT_TRUE(controls->Press(IDC_LOOP_READ));
  EXPECT_TRUE(ui.Boxes().empty());
  EXPECT_EQ(Shown(),
            (std::vector<std::string>{"ZR-40 (ZR40A12)", "19200", "8", "Отсутствует", "2", "7"}));
  EXPECT_FALSE(page->modified);
  for (std::string_view name : {sim::kParamDev, sim::kParamLoopDev, sim::kParamLoopBaud,
                                sim::kParamLoopPoll})
    EXPECT_EQ(simulator->request_count(name), 1) << name;
}

INSTANTIATE_TEST_SUITE_P(Lines, LoopReadOnLine,
                         ::testing::ValuesIn(kLineKinds), LineKindName);

}  // namespace
