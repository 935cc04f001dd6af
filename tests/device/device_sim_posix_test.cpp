// The device operations against the simulated converter on a pseudo-terminal:
// what the configurator sends is checked on the converter's side (its stored
// parameters, its line settings and how often each request arrived).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <tuple>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "device/code_tables.h"
#include "device/converter_device.h"
#include "link/serio.h"
#include "sim/sim.h"
#include "tests/support/ports_folder.h"
#include "tests/support/sim_lines.h"

namespace {

namespace sim = kv4t::sim;

const char* const kTextCannotUsePort = "Невозможно использовать порт";
const char* const kTextNoLink = "Не удалось установить связь с прибором.";
const char* const kTextNotKV4T = "Подключенное устройство не является преобразователем KV4T.";

class DeviceSim : public ::testing::Test {
 protected:
  void SetUp() override { Catalogue().AddBuiltInWhenEmpty(); }

  void TearDown() override {
    device.reset();
    if (simulator) simulator->stop();
  }

  // A converter with the given settings and a device object whose link set points
  // at it (the pseudo-terminal's path stands for the port name). Once per test.
  void Start(sim::Options options = {}) {
    ASSERT_FALSE(simulator) << "one converter per test";
    simulator = std::make_unique<sim::Simulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(simulator->start(&error)) << error;
    device = std::make_unique<ConverterDevice>();
    device->LinkSet().port = simulator->slave_path();
  }

  void StartOpen(sim::Options options = {}) {
    Start(std::move(options));
    ASSERT_TRUE(device->OpenPort());
  }

  sim::State State() const { return simulator->state(); }
  long Count(std::string_view name) const { return simulator->request_count(name); }
  // The converter counts a request when it has read it; the last of several
  // unanswered attempts may still be on its way when the operation returns.
  bool WaitCount(std::string_view name, long n) const {
    return simulator->wait_for_requests(name, n, 2000) && Count(name) == n;
  }

  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<ConverterDevice> device;
};

// A table of cases, each run as a test of its own against a converter of its own.
template <typename Case>
class DeviceSimCases : public DeviceSim, public ::testing::WithParamInterface<Case> {};

TEST_F(DeviceSim, ConnectIdentifiesTheConverterAndLeavesThePortOpen) {
  Start();
  const DeviceOutcome connected = device->Connect();
  EXPECT_TRUE(connected);
  EXPECT_EQ(connected.result, DeviceResult::kDone);
  EXPECT_TRUE(device->connected);
  EXPECT_EQ(device->LinkSet().devtype, "KS4T");
  EXPECT_EQ(device->LinkSet().fwver, sim::kFactoryVersion);
  EXPECT_EQ(Count(sim::kParamDev), 1);
  EXPECT_EQ(Count(sim::kParamVer), 1);
  EXPECT_TRUE(connected.text.empty());  // nothing for the user to read
  // A second Connect closes and reopens the port.
  EXPECT_TRUE(device->Connect());
  EXPECT_EQ(Count(sim::kParamDev), 2);
  EXPECT_TRUE(device->ClosePort());
  EXPECT_FALSE(device->connected);
  EXPECT_TRUE(device->ClosePort());
}

using ConnectRefuses = DeviceSimCases<const char*>;

TEST_P(ConnectRefuses, AnythingButKS4T) {
  const char* name = GetParam();
  sim::Options options;
  options.device = name;
  Start(options);
  const DeviceOutcome connected = device->Connect();
  EXPECT_FALSE(connected);
  EXPECT_EQ(connected.result, DeviceResult::kNotKV4T);
  EXPECT_EQ(Cp1251ToUtf8(connected.text), kTextNotKV4T);
  EXPECT_FALSE(device->connected);
  EXPECT_FALSE(device->IsKS4T());
  EXPECT_EQ(device->LinkSet().devtype, name);  // the identity read is kept
}

INSTANTIATE_TEST_SUITE_P(DeviceNames, ConnectRefuses,
                         ::testing::Values("KS4", "KS4TX", "ks4t", "KS4T "));

// A port that cannot be opened: the outcome names it, with the text the user reads.
// (How the window shows it, or keeps it back in the silent state, the pages' tests
// tell.)
TEST_F(DeviceSim, ConnectFailureReports) {
  Start();
  const std::string port = "/nonexistent/kv4t-line";
  device->LinkSet().port = port;
  const std::string expected = std::string(kTextCannotUsePort) + " \"" + port + "\".";

  const DeviceOutcome connected = device->Connect();
  EXPECT_FALSE(connected);
  EXPECT_EQ(connected.result, DeviceResult::kPortUnusable);
  EXPECT_EQ(Cp1251ToUtf8(connected.text), expected);
  EXPECT_FALSE(device->connected);
}

TEST_F(DeviceSim, UnansweredVersionLeavesItEmpty) {
  sim::Options options;
  options.faults.no_answer = {std::string(sim::kParamVer)};
  Start(options);
  device->LinkSet().fwver = "old";
  EXPECT_TRUE(device->Connect());
  EXPECT_EQ(device->LinkSet().fwver, "");
  EXPECT_TRUE(WaitCount(sim::kParamVer, 4));
}

// Nothing answers at all: four "dev" reads, the Modbus wake-up in both framings,
// the pause, four more reads; then text 127 and the port closed.
TEST_F(DeviceSim, SilentConverterFailsAfterTheWakeUp) {
  sim::Options options;
  options.faults.silent = true;
  Start(options);
  device->LinkSet().devtype = "before";
  const DeviceOutcome connected = device->Connect();
  EXPECT_EQ(connected.result, DeviceResult::kNoAnswer);
  EXPECT_EQ(Cp1251ToUtf8(connected.text), kTextNoLink);
  EXPECT_FALSE(device->connected);
  EXPECT_EQ(device->LinkSet().devtype, "before");
  EXPECT_TRUE(WaitCount(sim::kParamDev, 8));
  EXPECT_EQ(Count(sim::kParamVer), 0);
}

struct ModbusCase {
  sim::Protocol protocol;
  long coils;  // wake-up requests the converter saw in its own framing
};
void PrintTo(const ModbusCase& c, std::ostream* os) { *os << sim::protocol_name(c.protocol); }
using ConverterInModbus = DeviceSimCases<ModbusCase>;

TEST_P(ConverterInModbus, IsWokenAndIdentified) {
  const ModbusCase& c = GetParam();
  sim::Options options;
  options.protocol = c.protocol;
  Start(options);
  EXPECT_TRUE(device->Connect());
  EXPECT_EQ(device->LinkSet().devtype, "KS4T");
  EXPECT_EQ(Count(sim::kParamDev), 5);  // four unanswered, one after the wake-up
  EXPECT_EQ(Count(sim::kCountModbusCoil), c.coils);
  EXPECT_EQ(State().protocol, sim::Protocol::ravik);
}

const ModbusCase kModbusCases[] = {
    {sim::Protocol::modbus_rtu, 1},
    {sim::Protocol::modbus_ascii, 1},
};
INSTANTIATE_TEST_SUITE_P(Framings, ConverterInModbus, ::testing::ValuesIn(kModbusCases));

// Four attempts for a read, no pause between them: three lost answers are
// survived, four are not.
using LostAnswers = DeviceSimCases<int>;

TEST_P(LostAnswers, ReadIsTriedFourTimes) {
  const int skipped = GetParam();
  sim::Options options;
  options.faults.skip_requests = skipped;
  options.faults.only = {std::string(sim::kParamBaud)};
  StartOpen(options);
  int32_t code = -7;
  EXPECT_EQ(device->ReadIntParam(sim::kParamBaud, code), skipped < 4);
  if (skipped < 4) EXPECT_EQ(code, 2);  // 9600 baud
  else EXPECT_EQ(code, -7);
  EXPECT_TRUE(WaitCount(sim::kParamBaud, std::min(skipped + 1, 4)));
}

INSTANTIATE_TEST_SUITE_P(Skipped, LostAnswers, ::testing::Values(0, 3, 4));

TEST_F(DeviceSim, AnswerWithTheRequestFlagIsRejected) {
  sim::Options options;
  options.faults.request_flag = true;
  options.faults.only = {std::string(sim::kParamDev)};
  StartOpen(options);
  std::string dev = "x";
  EXPECT_FALSE(device->ReadTextParam(sim::kParamDev, dev));
  EXPECT_EQ(dev, "");
  EXPECT_EQ(Count(sim::kParamDev), 1);  // the frame itself was good: not repeated
  std::string ver;
  EXPECT_TRUE(device->ReadTextParam(sim::kParamVer, ver));
  EXPECT_EQ(ver, sim::kFactoryVersion);
}

TEST_F(DeviceSim, IntegersOnTheWire) {
  sim::Options options;
  options.loop_poll = 66051;  // answered as the three bytes 01 02 03
  StartOpen(options);
  int32_t value = 0;
  EXPECT_TRUE(device->ReadIntParam(sim::kParamLoopPoll, value));
  EXPECT_EQ(value, 66051);

  struct Case {
    int32_t written;
    long long stored;
  } const cases[] = {
      {0, 0}, {255, 255}, {256, 256}, {65535, 65535},
      {-1, 0xFF},          // below 256: one byte
      {70000, 70000 & 0xFFFF},  // only the 16 low bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_TRUE(device->WriteIntParam(sim::kParamLoopPoll, c.written));
    EXPECT_EQ(State().number(sim::kParamLoopPoll), c.stored);
  }
}

TEST_F(DeviceSim, TextLongerThanEightCharactersIsNotSent) {
  StartOpen();
  EXPECT_FALSE(device->WriteTextParam(sim::kParamLoopDev, "ABCDEFGHI"));
  EXPECT_EQ(Count(sim::kParamLoopDev), 0);
  EXPECT_TRUE(device->WriteTextParam(sim::kParamLoopDev, "ABCDEFGH"));
  EXPECT_EQ(State().text(sim::kParamLoopDev), "ABCDEFGH");

  // In the loop write the other six rows still go out, and the stored set stays.
  PortSettings& loop = device->LoopSet();
  loop.devtype = "123456789";
  loop.fwver = "V9";
  loop.baud = 1200;
  const PortSettings stored = device->StoredLoopSet();
  const DeviceOutcome written = device->WriteLoopSettings();
  EXPECT_FALSE(written);
  EXPECT_EQ(written.result, DeviceResult::kWriteFailed);
  EXPECT_EQ(Cp1251ToUtf8(written.text),
            "Ошибка сохранения конфигурации подключенного прибора на интерфейсе токовая петля "
            "преобразователя KV4T.");
  EXPECT_EQ(Count(sim::kParamLoopDev), 1);
  EXPECT_EQ(State().text(sim::kParamLoopDev), "ABCDEFGH");
  EXPECT_EQ(State().text(sim::kParamLoopVer), "V9");
  EXPECT_EQ(State().setting(sim::kParamLoopBaud), 1200);
  for (std::string_view name : {sim::kParamLoopVer, sim::kParamLoopBaud, sim::kParamLoopBits,
                                sim::kParamLoopParity, sim::kParamLoopStop, sim::kParamLoopPoll})
    EXPECT_EQ(Count(name), 1) << name;
  EXPECT_EQ(device->StoredLoopSet(), stored);
}

// Settings outside their code table go out as -1, the single byte 0xFF.
TEST_F(DeviceSim, SettingOutsideItsTableIsWrittenAsFF) {
  StartOpen();
  int32_t baud = 1200, parity = 3, stopbits = 1;
  const ParamEntry rows[] = {
      ParamEntry::Coded(sim::kParamBaud, kTableRs485Baud, &baud),
      ParamEntry::Coded(sim::kParamParity, kTableParity, &parity),
      ParamEntry::Coded(sim::kParamStop, kTableStopBits, &stopbits),
      ParamEntry::End(),
  };
  EXPECT_TRUE(device->ExchangeParams(rows, true));
  for (std::string_view name : {sim::kParamBaud, sim::kParamParity, sim::kParamStop})
    EXPECT_EQ(State().number(name), 0xFF) << name;
  // Read back, a code the table does not know fails the row and keeps the setting.
  EXPECT_FALSE(device->ExchangeParams(rows, false));
  EXPECT_EQ(baud, 1200);
  EXPECT_EQ(parity, 3);
  // An empty list is done at once.
  const ParamEntry empty[] = {ParamEntry::End()};
  EXPECT_TRUE(device->ExchangeParams(empty, true));
}

// A parameter the converter holds for a setting of the RS-485 set or the loop set:
// its code in the simulator's own table, or the value itself for a parameter
// without one.
struct Written {
  bool loop;
  std::string_view param;
  std::span<const int> table;
  int32_t PortSettings::*field;
};

long long Expected(const Written& w, const PortSettings& settings) {
  const int32_t value = settings.*w.field;
  if (w.table.empty()) return value;
  const auto code = std::find(w.table.begin(), w.table.end(), value);
  return code == w.table.end() ? -1 : code - w.table.begin();
}

const Written kWritten[] = {
    {false, sim::kParamBaud, sim::kBaudTable, &PortSettings::baud},
    {false, sim::kParamBits, sim::kBitsTable, &PortSettings::bytesize},
    {false, sim::kParamParity, sim::kParityTable, &PortSettings::parity},
    {false, sim::kParamStop, sim::kStopTable, &PortSettings::stopbits},
    {false, sim::kParamDelay, {}, &PortSettings::delay},
    {false, sim::kParamAlen, sim::kAlenTable, &PortSettings::alen},
    {false, sim::kParamAddr, {}, &PortSettings::address},
    {false, sim::kParamProto, sim::kProtoTable, &PortSettings::proto},
    {true, sim::kParamLoopBaud, sim::kLoopBaudTable, &PortSettings::baud},
    {true, sim::kParamLoopBits, sim::kBitsTable, &PortSettings::bytesize},
    {true, sim::kParamLoopParity, sim::kParityTable, &PortSettings::parity},
    {true, sim::kParamLoopStop, sim::kStopTable, &PortSettings::stopbits},
    {true, sim::kParamLoopPoll, {}, &PortSettings::delay},
};

// The converter holds every parameter of the set as written from `settings`.
void ExpectWritten(const sim::State& s, bool loop, const PortSettings& settings) {
  for (const Written& w : kWritten) {
    if (w.loop == loop) {
      EXPECT_EQ(s.number(w.param), Expected(w, settings)) << w.param;
    }
  }
}

struct Rs485Case {
  PortSettings rs;
};
void PrintTo(const Rs485Case& c, std::ostream* os) {
  *os << DescribePortSettings(c.rs) << " address " << c.rs.address << "/" << c.rs.alen
      << " proto " << c.rs.proto << " delay " << c.rs.delay;
}
using Rs485Write = DeviceSimCases<Rs485Case>;

// Every RS-485 field goes through its code table; after "APLY" the converter runs
// at the new settings and the next request reaches it there.
TEST_P(Rs485Write, GoesThroughTheCodeTables) {
  const PortSettings& c = GetParam().rs;
  StartOpen();
  device->Rs485Set() = c;  // its changed mark clear
  device->LinkSet().changed = false;
  const std::string port = device->LinkSet().port;

  const Rs485WriteOutcome written = device->WriteRs485Settings();
  ASSERT_TRUE(written);
  EXPECT_TRUE(WaitCount(sim::kParamApply, 1));
  const sim::State s = State();
  ExpectWritten(s, false, c);
  // Taken into effect.
  EXPECT_EQ(s.line, (sim::LineSettings{c.baud, c.bytesize, static_cast<sim::Parity>(c.parity),
                                       c.stopbits == 2 ? 2 : 1}));
  EXPECT_EQ(s.address, c.address);
  EXPECT_EQ(s.alen, c.alen);
  EXPECT_EQ(s.delay_ms, c.delay);
  EXPECT_EQ(s.protocol, static_cast<sim::Protocol>(c.proto));

  // The link set follows; port, adaptor and protocol stay.
  PortSettings link = c;
  link.port = port;
  link.adaptor = 1;
  link.proto = 0;
  link.changed = true;
  EXPECT_EQ(device->LinkSet(), link);
  EXPECT_EQ(device->StoredLinkSet(), link);
  EXPECT_EQ(device->StoredRs485Set(), device->Rs485Set());
  EXPECT_TRUE(written.text.empty());
  EXPECT_FALSE(written.corrected);
  EXPECT_EQ(written.address, c.address);

  // The next request reaches the converter at its new settings (in Modbus, only
  // the wake-up there brings it back to RAVIK).
  EXPECT_TRUE(device->Connect());
  EXPECT_EQ(Count(sim::kCountModbusCoil), c.proto == 0 ? 0 : 1);
  EXPECT_EQ(State().protocol, sim::Protocol::ravik);
}

const Rs485Case kRs485Cases[] = {
    {{.baud = 19200, .bytesize = 7, .parity = 2, .stopbits = 2, .address = 5, .alen = 8,
      .proto = 0, .delay = 7}},
    {{.baud = 115200, .bytesize = 8, .parity = 1, .stopbits = 0, .address = 1000, .alen = 11,
      .proto = 0, .delay = 0}},
    {{.baud = 2400, .bytesize = 8, .parity = 0, .stopbits = 2, .address = 200, .alen = 8,
      .proto = 0, .delay = 100}},
    // Modbus RTU (8 data bits: RTU carries bytes), then Modbus ASCII.
    {{.baud = 4800, .bytesize = 8, .parity = 1, .stopbits = 0, .address = 33, .alen = 8,
      .proto = 2, .delay = 3}},
    {{.baud = 38400, .bytesize = 8, .parity = 2, .stopbits = 0, .address = 1500, .alen = 11,
      .proto = 1, .delay = 2}},
};
INSTANTIATE_TEST_SUITE_P(Settings, Rs485Write, ::testing::ValuesIn(kRs485Cases));

struct AddressCase {
  int32_t address, alen, written;
};
void PrintTo(const AddressCase& c, std::ostream* os) {
  *os << c.address << "/" << c.alen << " written as " << c.written;
}
using AddressCorrection = DeviceSimCases<AddressCase>;

// An address outside the range of its length is replaced before anything is
// written: the converter is given the corrected address, the set holds it and the
// outcome tells it. (The box that shows it, and the page told, the sheet's tests
// see.)
TEST_P(AddressCorrection, TheConverterGetsTheCorrectedAddress) {
  const AddressCase& c = GetParam();
  StartOpen();
  PortSettings& rs = device->Rs485Set();
  rs.address = c.address;
  rs.alen = c.alen;
  const Rs485WriteOutcome written = device->WriteRs485Settings();
  ASSERT_TRUE(written);
  EXPECT_EQ(written.address, c.written);
  EXPECT_EQ(written.corrected, c.written != c.address);
  EXPECT_EQ(rs.address, c.written);
  EXPECT_EQ(device->LinkSet().address, c.written);
  EXPECT_EQ(State().number(sim::kParamAddr), c.written);
  EXPECT_EQ(State().address, c.written);
  std::string dev;
  EXPECT_TRUE(device->ReadTextParam(sim::kParamDev, dev));  // answered at the written address
}

const AddressCase kAddressCases[] = {
    {300, 8, 254}, {255, 8, 255}, {-5, 8, 0}, {2047, 11, 2047}, {2048, 11, 2046},
};
INSTANTIATE_TEST_SUITE_P(Addresses, AddressCorrection, ::testing::ValuesIn(kAddressCases));

// A row that fails stops "APLY"; the rows around it are still written, and neither
// the link set nor the stored sets change.
TEST_F(DeviceSim, FailedRs485RowSendsNoApply) {
  sim::Options options;
  options.faults.no_answer = {std::string(sim::kParamStop)};
  StartOpen(options);
  device->Rs485Set().baud = 19200;
  const PortSettings link = device->LinkSet();
  const PortSettings stored_link = device->StoredLinkSet();
  const PortSettings stored_rs = device->StoredRs485Set();
  const Rs485WriteOutcome written = device->WriteRs485Settings();
  EXPECT_FALSE(written);
  EXPECT_EQ(written.result, DeviceResult::kWriteFailed);
  EXPECT_EQ(Cp1251ToUtf8(written.text), "Ошибка сохранения коммуникационных параметров прибора.");
  EXPECT_TRUE(WaitCount(sim::kParamStop, 4));
  for (std::string_view name : {sim::kParamBaud, sim::kParamBits, sim::kParamParity,
                                sim::kParamDelay, sim::kParamAlen, sim::kParamAddr,
                                sim::kParamProto})
    EXPECT_EQ(Count(name), 1) << name;
  EXPECT_EQ(Count(sim::kParamApply), 0);
  EXPECT_EQ(State().number(sim::kParamBaud), 4);  // written, not in effect
  EXPECT_EQ(State().line.baud, 9600);
  EXPECT_EQ(device->LinkSet(), link);
  EXPECT_EQ(device->StoredLinkSet(), stored_link);
  EXPECT_EQ(device->StoredRs485Set(), stored_rs);
}

TEST_F(DeviceSim, ApplyIsSentOnceWithoutWaiting) {
  sim::Options options;
  options.faults.silent = true;
  StartOpen(options);
  EXPECT_TRUE(device->SendApply());
  EXPECT_TRUE(WaitCount(sim::kParamApply, 1));
}

struct LoopCase {
  PortSettings loop;
};
void PrintTo(const LoopCase& c, std::ostream* os) {
  *os << c.loop.devtype << " " << c.loop.fwver << " " << DescribePortSettings(c.loop) << " poll "
      << c.loop.delay;
}
using LoopWrite = DeviceSimCases<LoopCase>;

TEST_P(LoopWrite, GoesThroughTheCodeTables) {
  const PortSettings& c = GetParam().loop;
  StartOpen();
  device->LoopSet() = c;
  ASSERT_TRUE(device->WriteLoopSettings());
  const sim::State s = State();
  EXPECT_EQ(s.text(sim::kParamLoopDev), c.devtype);
  EXPECT_EQ(s.text(sim::kParamLoopVer), c.fwver);
  ExpectWritten(s, true, c);
  EXPECT_EQ(Count(sim::kParamApply), 0);
  EXPECT_EQ(device->StoredLoopSet(), device->LoopSet());
}

const LoopCase kLoopCases[] = {
    {{.devtype = "ZR-40", .fwver = "ZR40A12", .baud = 110, .bytesize = 7, .parity = 1,
      .stopbits = 2, .delay = 5}},
    {{.devtype = "NEW-1", .fwver = "V2", .baud = 115200, .bytesize = 8, .parity = 2,
      .stopbits = 0, .delay = 600}},
};
INSTANTIATE_TEST_SUITE_P(Settings, LoopWrite, ::testing::ValuesIn(kLoopCases));

TEST_F(DeviceSim, ReadLoopSettingsOfAKnownInstrument) {
  sim::Options options;
  options.loop_baud = 300;
  options.loop_bits = 7;
  options.loop_parity = sim::Parity::odd;
  options.loop_stop_bits = 1;
  options.loop_poll = 9;
  StartOpen(options);
  device->LoopSet().changed = false;
  ASSERT_TRUE(device->ReadLoopSettings(nullptr));
  const PortSettings read = {.devtype = std::string(sim::kFactoryLoopDevice),
                             .fwver = std::string(sim::kFactoryLoopVersion), .baud = 300,
                             .bytesize = 7, .parity = 1, .stopbits = 0, .delay = 9,
                             .changed = true};
  EXPECT_EQ(device->LoopSet(), read);
  EXPECT_EQ(device->StoredLoopSet(), read);
}

TEST_F(DeviceSim, ReadLoopSettingsOfAnUnknownInstrument) {
  sim::Options options;
  options.loop_device = "XR-99";
  options.loop_version = "X1";
  options.loop_baud = 2400;
  options.loop_poll = 40;
  StartOpen(options);

  // Into the loop set: the first catalogue entry's defaults; nothing more is read.
  PortSettings& loop = device->LoopSet();
  loop.baud = 57600;
  loop.delay = 77;
  ASSERT_TRUE(device->ReadLoopSettings(nullptr));
  const DeviceDescription& first = FirstDescription();
  const PortSettings defaults = {.devtype = first.name, .fwver = first.version,
                                 .baud = first.defbaud, .bytesize = first.defbytesize,
                                 .parity = first.defparity, .stopbits = first.defstopbits,
                                 .delay = PollIndexForBaud(first, first.defbaud),
                                 .changed = true};
  EXPECT_EQ(loop, defaults);
  EXPECT_EQ(device->StoredLoopSet(), loop);
  EXPECT_EQ(Count(sim::kParamLoopBaud), 0);
  EXPECT_EQ(Count(sim::kParamLoopPoll), 0);

  // Into a given record: all seven parameters.
  PortSettings record;
  ASSERT_TRUE(device->ReadLoopSettings(&record));
  EXPECT_EQ(record.devtype, "XR-99");
  EXPECT_EQ(record.fwver, "X1");
  EXPECT_EQ(record.baud, 2400);
  EXPECT_EQ(record.delay, 40);
  EXPECT_TRUE(record.changed);
  EXPECT_EQ(device->LoopSet(), loop);
  // The stored loop set takes what was read, as after a read into the loop set.
  EXPECT_EQ(device->StoredLoopSet(), record);
  EXPECT_EQ(Count(sim::kParamLoopBaud), 1);
  EXPECT_EQ(Count(sim::kParamLoopPoll), 1);
}

TEST_F(DeviceSim, FailedLoopReadChangesNothing) {
  sim::Options options;
  options.faults.no_answer = {std::string(sim::kParamLoopVer)};
  StartOpen(options);
  const PortSettings loop = device->LoopSet();
  const PortSettings stored = device->StoredLoopSet();
  const DeviceOutcome read = device->ReadLoopSettings(nullptr);
  EXPECT_FALSE(read);
  EXPECT_EQ(read.result, DeviceResult::kReadFailed);
  EXPECT_EQ(Cp1251ToUtf8(read.text),
            "Ошибка загрузки конфигурации подключенного прибора на интерфейсе токовая петля "
            "преобразователя KV4T.");
  EXPECT_EQ(device->LoopSet(), loop);
  EXPECT_EQ(device->StoredLoopSet(), stored);
  EXPECT_EQ(Count(sim::kParamLoopBaud), 0);
}

TEST_F(DeviceSim, ProtocolSwitchAndRestore) {
  StartOpen();
  // RAVIK in the RS-485 set: nothing to restore, nothing sent.
  device->Rs485Set().proto = 0;
  EXPECT_TRUE(device->RestoreConverterProtocol(true));
  EXPECT_TRUE(State().requests.empty());

  // To Modbus ASCII and back through the wake-up coil.
  ASSERT_TRUE(device->SetConverterProtocol(true));
  EXPECT_TRUE(WaitCount(sim::kParamApply, 1));
  EXPECT_EQ(State().number(sim::kParamProto), sim::kProtoCodeAscii);
  EXPECT_EQ(State().protocol, sim::Protocol::modbus_ascii);
  EXPECT_TRUE(device->ModbusWriteCoil(true, sim::kWakeCoil, 1));
  EXPECT_EQ(State().protocol, sim::Protocol::ravik);

  // The RS-485 set says Modbus RTU: the converter goes back to it.
  device->Rs485Set().proto = 2;
  ASSERT_TRUE(device->RestoreConverterProtocol(true));
  EXPECT_EQ(State().number(sim::kParamProto), sim::kProtoCodeRtu);
  EXPECT_EQ(State().protocol, sim::Protocol::modbus_rtu);
  // ... and from there, with the wake-up, to it again.
  ASSERT_TRUE(device->RestoreConverterProtocol(false));
  EXPECT_EQ(Count(sim::kCountModbusCoil), 2);
  EXPECT_EQ(State().protocol, sim::Protocol::modbus_rtu);
}

TEST_F(DeviceSim, RegisterReads) {
  sim::Options options;
  options.protocol = sim::Protocol::modbus_rtu;
  options.registers[7] = -1;
  options.registers[0x10] = 0xBEEF;
  StartOpen(options);
  device->LinkSet().adaptor = 0;

  int value = -1, exception = -1;
  EXPECT_TRUE(device->ModbusReadRegister(false, 0x10, value, &exception));
  EXPECT_EQ(value, 0xBEEF);
  EXPECT_EQ(exception, 0);

  value = -1;
  EXPECT_FALSE(device->ModbusReadRegister(false, 7, value, &exception));
  EXPECT_EQ(exception, sim::kExIllegalAddress);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(Count(sim::kCountModbusRead), 2);  // an exception is an answer: not repeated

  // Two attempts, then failure.
  sim::Faults faults;
  faults.no_answer = {std::string(sim::kCountModbusRead)};
  simulator->set_faults(faults);
  EXPECT_FALSE(device->ModbusReadRegister(false, 0x10, value, nullptr));
  EXPECT_TRUE(WaitCount(sim::kCountModbusRead, 4));
}


using OnEveryLine = DeviceSimCases<LineKind>;

// Connect, the loop read and write and the RS-485 write go as on a plain line:
// one "dev" and one "ver" (the echo is learned from the first read, no read is
// added), every request once, and the converter answers at its new settings.
TEST_P(OnEveryLine, ConnectReadAndWrite) {
  Start(OnLine(GetParam()));
  ASSERT_TRUE(device->Connect());
  EXPECT_EQ(device->LinkSet().devtype, "KS4T");
  EXPECT_EQ(device->LinkSet().fwver, sim::kFactoryVersion);
  EXPECT_EQ(device->channel->echo(), GetParam().echo ? serio_echo::present : serio_echo::absent);

  PortSettings loop;
  ASSERT_TRUE(device->ReadLoopSettings(&loop));
  EXPECT_EQ(loop.devtype, sim::kFactoryLoopDevice);
  EXPECT_EQ(loop.delay, sim::kFactoryLoopPoll);
  loop.delay = 12;
  device->LoopSet() = loop;
  ASSERT_TRUE(device->WriteLoopSettings());
  EXPECT_EQ(State().number(sim::kParamLoopPoll), 12);

  PortSettings& rs = device->Rs485Set();
  rs.baud = 19200;
  rs.address = 30;
  ASSERT_TRUE(device->WriteRs485Settings());
  EXPECT_TRUE(WaitCount(sim::kParamApply, 1));
  const std::pair<std::string_view, long> counts[] = {
      {sim::kParamDev, 1},      {sim::kParamVer, 1},  {sim::kParamLoopDev, 2},
      {sim::kParamLoopBaud, 2}, {sim::kParamLoopPoll, 2}, {sim::kParamBaud, 1},
      {sim::kParamAddr, 1},     {sim::kParamProto, 1}};  // the loop's read, then written
  for (const auto& [name, n] : counts) EXPECT_EQ(Count(name), n) << name;
  EXPECT_EQ(State().line.baud, 19200);
  EXPECT_EQ(State().address, 30);
  ASSERT_TRUE(device->Connect());
  EXPECT_EQ(Count(sim::kParamDev), 2);
}

// A converter left in Modbus RTU: its "dev" reads go unanswered (and teach the
// echo all the same), the wake-up's echo is not taken for its acknowledgement,
// and the converter is identified.
TEST_P(OnEveryLine, ConverterInModbusIsWokenAndIdentified) {
  sim::Options options;
  options.protocol = sim::Protocol::modbus_rtu;
  Start(OnLine(GetParam(), options));
  ASSERT_TRUE(device->Connect());
  EXPECT_EQ(Count(sim::kParamDev), 5);
  EXPECT_EQ(Count(sim::kCountModbusCoil), 1);
  EXPECT_EQ(State().protocol, sim::Protocol::ravik);
}

INSTANTIATE_TEST_SUITE_P(Lines, OnEveryLine, ::testing::ValuesIn(kLineKinds), LineKindName);

// What a caller may do on a port it has opened; true when the device says it
// succeeded.
struct SilentPath {
  const char* name;
  bool (*run)(ConverterDevice&);
};
const SilentPath kSilentPaths[] = {
    {"Connect", [](ConverterDevice& d) { return static_cast<bool>(d.Connect()); }},
    {"WriteIntParam", [](ConverterDevice& d) { return d.OpenPort() && d.WriteIntParam("FrEq", 3); }},
    {"WriteTextParam",
     [](ConverterDevice& d) { return d.OpenPort() && d.WriteTextParam("dEv.L", "ZR-40"); }},
    {"WriteRs485Settings",
     [](ConverterDevice& d) { return d.OpenPort() && static_cast<bool>(d.WriteRs485Settings()); }},
    {"WriteLoopSettings",
     [](ConverterDevice& d) { return d.OpenPort() && static_cast<bool>(d.WriteLoopSettings()); }},
    {"SetConverterProtocol", [](ConverterDevice& d) { return d.OpenPort() && d.SetConverterProtocol(false); }},
    {"WakeUpCoil",
     [](ConverterDevice& d) { return d.OpenPort() && d.ModbusWriteCoil(false, sim::kWakeCoil, 1); }},
    {"RegisterRead",
     [](ConverterDevice& d) {
       int value = 0;
       return d.OpenPort() && d.ModbusReadRegister(false, 0x10, value, nullptr);
     }},
};

void PrintTo(const SilentPath& p, std::ostream* os) { *os << p.name; }

class EchoWithoutConverter
    : public DeviceSim,
      public ::testing::WithParamInterface<std::tuple<LineKind, SilentPath>> {};

// On an echoing line with a converter that answers nothing, no write succeeds on
// its own echo, whether or not a read came first: a write straight after the port
// was opened is preceded by one "dev" read that teaches the channel the echo.
TEST_P(EchoWithoutConverter, NothingSucceeds) {
  const auto& [kind, path] = GetParam();
  sim::Options options;
  options.faults.silent = true;
  Start(OnLine(kind, options));
  EXPECT_FALSE(path.run(*device));
  EXPECT_EQ(device->channel->echo(), serio_echo::present);
  EXPECT_EQ(Count(sim::kParamApply), 0);  // no row of the RS-485 write was taken
}

INSTANTIATE_TEST_SUITE_P(
    Paths, EchoWithoutConverter,
    ::testing::Combine(::testing::ValuesIn(kEchoingLines), ::testing::ValuesIn(kSilentPaths)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// A converter that falls silent after Connect: the RS-485 write fails at its
// first row and "APLY" is not sent.
TEST_P(OnEveryLine, Rs485WriteToAConverterThatFellSilentFails) {
  Start(OnLine(GetParam()));
  ASSERT_TRUE(device->Connect());
  sim::Faults silent;
  silent.silent = true;
  simulator->set_faults(silent);
  device->Rs485Set().baud = 19200;
  EXPECT_FALSE(device->WriteRs485Settings());
  EXPECT_TRUE(WaitCount(sim::kParamBaud, 4));
  EXPECT_EQ(Count(sim::kParamApply), 0);
  EXPECT_EQ(device->LinkSet().baud, 9600);
}

// The read that teaches the echo goes out only when nothing was read since the
// port was opened: once per port, and never after Connect.
TEST_F(DeviceSim, AWriteFirstAfterOpeningReadsOnce) {
  StartOpen();
  EXPECT_TRUE(device->WriteIntParam(sim::kParamLoopPoll, 4));
  EXPECT_TRUE(device->WriteIntParam(sim::kParamLoopPoll, 5));
  EXPECT_EQ(Count(sim::kParamDev), 1);
  EXPECT_EQ(device->channel->echo(), serio_echo::absent);
  EXPECT_EQ(State().number(sim::kParamLoopPoll), 5);
  ASSERT_TRUE(device->Connect());
  EXPECT_TRUE(device->WriteIntParam(sim::kParamLoopPoll, 6));
  EXPECT_EQ(Count(sim::kParamDev), 2);
}

// "COMn" on this side resolves through the ports folder.
TEST_F(DeviceSim, ComPortThroughThePortsFolder) {
  Start();
  const PortsFolder ports("kv4t-ports");
  ports.Link(simulator->slave_path(), 7);
  device->LinkSet().port = "COM7";
  EXPECT_TRUE(device->Connect());
  EXPECT_EQ(device->LinkSet().devtype, "KS4T");
  device->ClosePort();
}

}  // namespace
