// The line test against the simulated converter, reached as a COM port through
// the ports folder ($KV4T_PORTS_DIR): the protocol of whole runs, a stop during the
// register scan, another device on the line, and the page going away while its
// worker runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/resource_ids.h"
#include "link/serio.h"
#include "pages/dlg_test.h"
#include "sim/sim.h"
#include "tests/pages/line_page_support.h"
#include "tests/support/ports_folder.h"
#include "tests/support/sim_lines.h"

namespace {

namespace sim = kv4t::sim;
using line_pages::Head;
using line_pages::Registers;
using line_pages::RegisterValues;
using line_pages::Row;
using line_pages::Rows;

constexpr const char* kPort = "COM201";
constexpr int kPortNumber = 201;
constexpr const char* kAbsentPort = "COM202";

// The computer's ports are listed once per run, so the converter's link must be in
// the ports folder when that happens: a converter is linked while the list is made.
class PortsFolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ports_ = std::make_unique<PortsFolder>("kv4t-ports");
    std::unique_ptr<sim::Simulator> converter;
    std::string error;
    ASSERT_TRUE(ports_->StartSimulator(converter, kPortNumber, {}, &error)) << error;
    std::vector<int> ports;
    list_serial_ports(ports);
    converter->stop();
  }
  void TearDown() override { ports_.reset(); }

  const PortsFolder& Ports() const { return *ports_; }

 private:
  std::unique_ptr<PortsFolder> ports_;
};

auto* const kEnvironment = static_cast<PortsFolderEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new PortsFolderEnvironment));

class LineTest : public line_pages::TestPageFixture {
 protected:
  void SetUp() override {
    TestPageFixture::SetUp();
    device->LinkSet().port = kPort;
  }
  void TearDown() override {
    TestPageFixture::TearDown();
    if (simulator) simulator->stop();
  }

  void StartConverter(sim::Options options = {}) {
    registers = options.registers;
    std::string error;
    ASSERT_TRUE(kEnvironment->Ports().StartSimulator(simulator, kPortNumber, std::move(options),
                                                     &error))
        << error;
  }

  void RunToEnd() {
    ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
    page->WaitForWorker();
  }

  std::string Log() { return controls->Text(IDC_TEST_LOG); }

  // Waits until the scan reads register `reg` or a later one.
  bool WaitForRegister(int reg) {
    char from[64];
    std::snprintf(from, sizeof from, "Считывание ячейки: %02X", reg);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string status = controls->Text(IDC_TEST_STATUS);
      if (status.size() == std::string(from).size() && status >= from) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // The converter speaks RAVIK again, however the test ended.
  void ExpectConverterInRavik() {
    EXPECT_EQ(simulator->state().protocol, sim::Protocol::ravik);
    EXPECT_FALSE(device->connected);
  }

  std::unique_ptr<sim::Simulator> simulator;
  RegisterValues registers{};
};

TEST_F(LineTest, FirstThirtyTwoRegistersGiveRowsAndNoSummary) {
  sim::Options options;
  options.registers = Registers({{0x00, 0x1F}});
  StartConverter(options);
  const PortSettings link = device->LinkSet();
  RunToEnd();
  EXPECT_EQ(Log(), Head(kPort) + Rows(registers) + "Тестирование завершено\r\n");
  EXPECT_NE(Rows(registers).find("1C-1F: 4B1C 4B1D 4B1E 4B1F\r\n20-23: ---- ---- ---- ----\r\n"),
            std::string::npos);
  ExpectConverterInRavik();
  EXPECT_EQ(simulator->request_count("modbus:3"), 256);
  EXPECT_EQ(device->LinkSet(), link);  // the identity read is not kept
  EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_IDLE}));
  ExpectIdle("&Тест");
}

TEST_F(LineTest, RegistersFromTenToTheEndAreSummarised) {
  sim::Options options;
  options.registers = Registers({{0x10, 0xFF}});
  StartConverter(options);
  RunToEnd();
  EXPECT_EQ(Log(), Head(kPort) + Rows(registers) +
                       "Адреса считанных ячеек: 10-FF\r\nТестирование завершено\r\n");
  ExpectConverterInRavik();
}

TEST_F(LineTest, OnlyRegisterZeroGivesNoSummary) {
  sim::Options options;
  options.registers = Registers({{0x00, 0x00}});
  StartConverter(options);
  RunToEnd();
  EXPECT_EQ(Log(), Head(kPort) + Rows(registers) + "Тестирование завершено\r\n");
  ExpectConverterInRavik();
}

TEST_F(LineTest, StopDuringTheScan) {
  StartConverter();
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  ASSERT_TRUE(WaitForRegister(0x09));
  EXPECT_TRUE(page->running);
  EXPECT_EQ(controls->Text(IDC_TEST_BUTTON), "&Остановить");
  EXPECT_EQ(controls->Tooltip(IDC_TEST_BUTTON), IDS_TIP_TEST_STOP);
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  EXPECT_FALSE(controls->Enabled(IDC_TEST_BUTTON));  // until the worker has ended
  page->WaitForWorker();

  const std::string log = Log();
  const std::string stopped = "Тестирование прервано\r\n";
  ASSERT_TRUE(log.starts_with(Head(kPort))) << log;
  ASSERT_TRUE(log.ends_with(stopped)) << log;
  const std::string rows =
      log.substr(Head(kPort).size(), log.size() - Head(kPort).size() - stopped.size());
  // Whole rows only, as far as the scan came, and no summary.
  EXPECT_EQ(rows, Rows(registers).substr(0, rows.size()));
  EXPECT_GE(rows.size(), 2 * Row(0, registers).size());
  EXPECT_LT(rows.size(), Rows(registers).size());
  ExpectConverterInRavik();
  EXPECT_LT(simulator->request_count("modbus:3"), 256);
  EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_IDLE}));
  ExpectIdle("&Тест");
}

TEST_F(LineTest, AnotherDeviceIsNamedAndLeftAlone) {
  sim::Options options;
  options.device = "KS4X";
  StartConverter(options);
  RunToEnd();
  EXPECT_EQ(Log(),
            "Тестирование началось...\r\n"
            "успешное открытие порта \"COM201\"\r\n"
            "подключенный прибор не является KV4T (KS4X)\r\n"
            "Тестирование завершено\r\n");
  EXPECT_EQ(simulator->request_count(sim::kParamProto), 0);
  EXPECT_EQ(simulator->request_count(sim::kParamLoopDev), 0);
  EXPECT_EQ(simulator->request_count("modbus:5"), 0);
  ExpectConverterInRavik();
}

TEST_F(LineTest, PortThatIsNotPresent) {
  StartConverter();
  device->LinkSet().port = kAbsentPort;
  RunToEnd();
  EXPECT_EQ(Log(),
            "Тестирование началось...\r\n"
            "ошибка: рабочий порт не выбран\r\n"
            "Тестирование завершено\r\n");
  EXPECT_EQ(simulator->request_count(sim::kParamDev), 0);
}

// The page goes away in the middle of a test: it stops the worker and waits for it,
// and the converter is back in RAVIK before the page is gone.
TEST_F(LineTest, PageDestroyedWhileTheWorkerRuns) {
  StartConverter();
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  ASSERT_TRUE(WaitForRegister(0x02));
  page.reset();
  ExpectConverterInRavik();
  EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_IDLE}));
}

class LineTestOnLine : public LineTest, public ::testing::WithParamInterface<LineKind> {};

// A whole run: the identity, the loop instrument, the switch to Modbus RTU, all
// 256 registers read once each, and the converter back in RAVIK.
TEST_P(LineTestOnLine, WholeRunWithSummary) {
  sim::Options options = OnLine(GetParam());
  options.registers = Registers({{0x10, 0xFF}});
  StartConverter(options);
  RunToEnd();
  EXPECT_EQ(Log(), Head(kPort) + Rows(registers) +
                       "Адреса считанных ячеек: 10-FF\r\nТестирование завершено\r\n");
  ExpectConverterInRavik();
  EXPECT_EQ(simulator->request_count("modbus:3"), 256);
  EXPECT_EQ(simulator->request_count(sim::kParamDev), 1);
  EXPECT_EQ(simulator->request_count("modbus:5"), 1);
}

// (The plain line's run is RegistersFromTenToTheEndAreSummarised.)
INSTANTIATE_TEST_SUITE_P(Lines, LineTestOnLine,
                         ::testing::ValuesIn(kLateLineKinds), LineKindName);

}  // namespace
