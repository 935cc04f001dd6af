// The device operations in the Windows build, over the Win32 communications API
// under Wine, against the simulated converter whose pseudo-terminal is linked as
// the COM port named by $KV4T_WINE_PORT (tests/wine-with-sim). What the
// converter took in is read back from its JSON state ($KV4T_SIM_STATE).
//
// One converter serves the whole run: every test leaves it at its factory
// settings, in RAVIK.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <thread>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "device/converter_device.h"
#include "link/diag_log.h"
#include "link/serio.h"
#include "sim/sim_constants.h"

namespace {

namespace sim = kv4t::sim;

std::string PortUnderTest() {
  const char* name = std::getenv("KV4T_WINE_PORT");
  return name ? name : "";
}

// The simulator's state file, seen through Wine's drive for the Unix root.
std::string ReadState() {
  const char* path = std::getenv("KV4T_SIM_STATE");
  if (!path || !*path) return {};
  std::FILE* f = std::fopen((std::string("Z:") + path).c_str(), "rb");
  if (!f) return {};
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

// A parameter's line in the state file: "name": body.
std::string Param(std::string_view name, std::string_view body) {
  return "\"" + std::string(name) + "\": " + std::string(body);
}

// The state file is rewritten after each change; give it a moment.
bool StateHas(const std::string& line) {
  for (int i = 0; i < 100; ++i) {
    if (ReadState().find(line) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

class DeviceWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PortUnderTest().empty()) GTEST_SKIP() << "KV4T_WINE_PORT not set";
    Catalogue().AddBuiltInWhenEmpty();
    device = std::make_unique<ConverterDevice>();
    device->LinkSet().port = PortUnderTest();
    diag_log_clear();
  }
  // A failed case shows the channel's log: which request went unanswered, and
  // how long each answer took.
  void TearDown() override {
    if (device) device->ClosePort();
    if (HasFailure())
      for (const std::string& line : diag_log_lines()) std::fputs(line.c_str(), stderr);
  }

  void SetRs485(int32_t baud, int32_t bytesize, int32_t parity, int32_t stopbits,
                int32_t address, int32_t delay) {
    PortSettings& rs = device->Rs485Set();
    rs.baud = baud;
    rs.bytesize = bytesize;
    rs.parity = parity;
    rs.stopbits = stopbits;
    rs.address = address;
    rs.alen = 8;
    rs.proto = 0;
    rs.delay = delay;
  }

  std::unique_ptr<ConverterDevice> device;
};

TEST_F(DeviceWine, ConnectOverTheComPort) {
  const DeviceOutcome connected = device->Connect();
  ASSERT_TRUE(connected);
  EXPECT_TRUE(device->connected);
  EXPECT_EQ(device->LinkSet().devtype, "KS4T");
  EXPECT_EQ(device->LinkSet().fwver, sim::kFactoryVersion);
  EXPECT_TRUE(connected.text.empty());
}

TEST_F(DeviceWine, PortThatCannotBeOpened) {
  device->LinkSet().port = "COM199";
  const DeviceOutcome connected = device->Connect();
  EXPECT_EQ(connected.result, DeviceResult::kPortUnusable);
  EXPECT_EQ(Cp1251ToUtf8(connected.text), "Невозможно использовать порт \"COM199\".");
  EXPECT_FALSE(device->connected);
}

TEST_F(DeviceWine, LoopSettingsWrittenAndReadBack) {
  ASSERT_TRUE(device->Connect());
  PortSettings& loop = device->LoopSet();
  loop.devtype = "NEW-1";
  loop.fwver = "V2";
  loop.baud = 300;
  loop.bytesize = 7;
  loop.parity = 1;  // odd: the converter's code 2
  loop.stopbits = 0;
  loop.delay = 42;
  ASSERT_TRUE(device->WriteLoopSettings());
  EXPECT_TRUE(StateHas(Param(sim::kParamLoopDev, "{\"text\": \"NEW-1\"}")));
  EXPECT_TRUE(StateHas(Param(sim::kParamLoopBaud, "{\"code\": 1, \"value\": 300}")));
  EXPECT_TRUE(StateHas(Param(sim::kParamLoopParity, "{\"code\": 2, \"value\": 1}")));
  EXPECT_TRUE(StateHas(Param(sim::kParamLoopPoll, "{\"value\": 42}")));

  PortSettings record;
  ASSERT_TRUE(device->ReadLoopSettings(&record));
  PortSettings read_back = loop;
  read_back.changed = true;
  EXPECT_EQ(record, read_back);
}

// New RS-485 settings with a corrected address; the converter is then reached at
// them, and put back to its factory settings the same way.
TEST_F(DeviceWine, Rs485SettingsTakeEffect) {
  ASSERT_TRUE(device->Connect());
  SetRs485(19200, 8, 2, 2, 300, 5);
  const Rs485WriteOutcome written = device->WriteRs485Settings();
  ASSERT_TRUE(written);
  EXPECT_TRUE(written.corrected);
  EXPECT_EQ(written.address, 254);
  EXPECT_EQ(device->Rs485Set().address, 254);
  EXPECT_TRUE(StateHas(Param(sim::kParamBaud, "{\"code\": 4, \"value\": 19200}")));
  EXPECT_TRUE(StateHas(Param(sim::kParamParity, "{\"code\": 1, \"value\": 2}")));
  EXPECT_TRUE(StateHas(Param(sim::kParamAddr, "{\"value\": 254}")));
  EXPECT_TRUE(StateHas("\"line\": {\"baud\": 19200, \"bits\": 8, \"parity\": \"even\", \"stop_bits\": 2}"));
  EXPECT_EQ(device->LinkSet().baud, 19200);
  EXPECT_EQ(device->LinkSet().address, 254);

  device->ClosePort();
  ASSERT_TRUE(device->Connect());
  SetRs485(sim::kFactoryBaud, sim::kFactoryBits, 0, 0, sim::kFactoryAddress, sim::kFactoryDelayMs);
  ASSERT_TRUE(device->WriteRs485Settings());
  EXPECT_TRUE(StateHas("\"line\": {\"baud\": 9600, \"bits\": 8, \"parity\": \"none\", \"stop_bits\": 1}"));
  device->ClosePort();
  EXPECT_TRUE(device->Connect());
}

TEST_F(DeviceWine, RegisterReadInModbusRtu) {
  ASSERT_TRUE(device->Connect());
  ASSERT_TRUE(device->SetConverterProtocol(false));
  EXPECT_TRUE(StateHas("\"protocol\": \"modbus-rtu\""));
  int value = -1, exception = -1;
  EXPECT_TRUE(device->ModbusReadRegister(false, 0x21, value, &exception));
  EXPECT_EQ(value, sim::factory_register(0x21));
  EXPECT_EQ(exception, 0);
  // Back to RAVIK, which the RS-485 set names: only the wake-up is sent.
  device->Rs485Set().proto = 0;
  EXPECT_TRUE(device->RestoreConverterProtocol(false));
  EXPECT_TRUE(StateHas("\"protocol\": \"ravik\""));
  device->ClosePort();
  EXPECT_TRUE(device->Connect());
}

// An echoing line whose converter answers nothing (the simulator run with --echo
// --silent, $KV4T_SIM_SILENT set): nothing succeeds on its own echo, neither
// Connect nor a write straight after the port was opened nor the wake-up.
TEST(DeviceWineEchoWithoutConverter, NothingSucceeds) {
  if (PortUnderTest().empty() || !std::getenv("KV4T_SIM_SILENT"))
    GTEST_SKIP() << "needs an echoing line without a converter";
  Catalogue().AddBuiltInWhenEmpty();
  ConverterDevice device;
  device.LinkSet().port = PortUnderTest();
  EXPECT_EQ(device.Connect().result, DeviceResult::kNoAnswer);
  ASSERT_TRUE(device.OpenPort());
  EXPECT_FALSE(device.WriteIntParam(sim::kParamLoopPoll, 3));
  EXPECT_EQ(device.channel->echo(), serio_echo::present);
  EXPECT_FALSE(device.ModbusWriteCoil(false, sim::kWakeCoil, 1));
  device.ClosePort();
  ASSERT_TRUE(device.OpenPort());
  EXPECT_FALSE(device.WriteRs485Settings());
  device.ClosePort();
  // The converter heard every request and answered none.
  EXPECT_TRUE(StateHas("\"answers\": 0,"));
  EXPECT_NE(ReadState().find("\"FrEq\": 4"), std::string::npos) << ReadState();
}

// The numbers that follow each "key": of the state file, in order: with several
// converters on the line, one for each of them.
std::vector<long> Each(const std::string& state, const std::string& key) {
  std::vector<long> values;
  const std::string tag = "\"" + key + "\": ";
  for (std::size_t at = state.find(tag); at != std::string::npos; at = state.find(tag, at + 1))
    values.push_back(std::strtol(state.c_str() + at + tag.size(), nullptr, 10));
  return values;
}

// A bus of three converters at 19200 baud (RAVIK at 5 and 77, Modbus RTU at 9;
// $KV4T_SIM_BUS names the one the link set names): Connect and the RS-485 write
// reach that one only, and it alone takes the new answer delay.
TEST(DeviceWineBus, ConnectAndWriteReachOnlyTheAddressedConverter) {
  const char* addressed = std::getenv("KV4T_SIM_BUS");
  if (PortUnderTest().empty() || !addressed) GTEST_SKIP() << "needs the bus of three";
  const long address = std::strtol(addressed, nullptr, 10);
  const long addresses[] = {5, 77, 9};
  Catalogue().AddBuiltInWhenEmpty();
  ConverterDevice device;
  PortSettings& link = device.LinkSet();
  link.port = PortUnderTest();
  link.baud = 19200;
  link.address = static_cast<int32_t>(address);
  ASSERT_TRUE(device.Connect());
  EXPECT_EQ(link.devtype, "KS4T");
  PortSettings& rs = device.Rs485Set();
  rs = link;
  rs.proto = 0;
  rs.delay = 9;
  ASSERT_TRUE(device.WriteRs485Settings());
  device.ClosePort();
  ASSERT_TRUE(StateHas("\"delay_ms\": 9"));
  const std::string state = ReadState();
  const std::vector<long> delays = Each(state, "delay_ms");
  const std::vector<long> answers = Each(state, "answers");
  ASSERT_EQ(delays.size(), 3u) << state;
  ASSERT_EQ(answers.size(), 3u) << state;
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(addresses[i]);
    const bool reached = addresses[i] == address;
    EXPECT_EQ(delays[i], reached ? 9 : sim::kFactoryDelayMs);
    EXPECT_EQ(answers[i] > 0, reached);
  }
}

}  // namespace
