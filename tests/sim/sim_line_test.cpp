// kv4t-sim's line as real lines are: the echo of a two-wire adaptor, the latency
// timer of a USB adaptor, and several converters on one bus.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/sim/sim_fixture.h"

namespace kv4t::sim {
namespace {

const sim_bytes kDevRead = as_bytes("#HGHGTMOHPGMO\r");
const sim_bytes kDevAnswer = as_bytes("#HGGKTMOHLKJKLJKRLPJK\r");

struct EchoCase {
  const char* what;
  std::function<void(Options&)> set;
  sim_bytes sent;
  sim_bytes answer;  // empty: nobody answers
};

void PrintTo(const EchoCase& c, std::ostream* os) { *os << c.what; }

class SimEchoTest : public SimTest, public ::testing::WithParamInterface<EchoCase> {};

// The computer hears exactly what it sent, first, whether or not an answer follows.
TEST_P(SimEchoTest, TheComputerHearsWhatItSentBeforeAnyAnswer) {
  Options o;
  o.echo = true;
  GetParam().set(o);
  start(o);
  const sim_bytes& sent = GetParam().sent;
  sim_bytes heard = sent;
  heard.insert(heard.end(), GetParam().answer.begin(), GetParam().answer.end());
  ASSERT_TRUE(line_->write_bytes(sent));
  EXPECT_EQ(line_->read_count(heard.size()), heard);
  EXPECT_TRUE(line_->read_for(150).empty()) << "nothing after the answer";
  EXPECT_EQ(sim_->state().answers, GetParam().answer.empty() ? 0 : 1) << "the echo is no request to the converter";
}

const EchoCase kEchoCases[] = {
    {"AnsweredRead", [](Options&) {}, kDevRead, kDevAnswer},
    {"ModbusRtuRead", [](Options& o) { o.protocol = Protocol::modbus_rtu; }, rtu({16, 3, 0x00, 0x10, 0x00, 0x01}),
     rtu({16, 3, 2, 0x4B, 0x10})},
    {"AnotherAddress", [](Options&) {}, ravik_request(kParamDev, true, {}, 17), {}},
    {"ApplyIsNeverAnswered", [](Options&) {}, ravik_request(kParamApply, false, {1}), {}},
    {"SilentConverter", [](Options& o) { o.faults.silent = true; }, kDevRead, {}},
    {"ConverterAtOtherLineSettings", [](Options& o) { o.line.baud = 19200; }, kDevRead, {}},
    {"LineNoise", [](Options&) {}, {0x00, 0xFF, '#', 0x80, '\r', '\n', 0x7F}, {}},
};

INSTANTIATE_TEST_SUITE_P(Echo, SimEchoTest, ::testing::ValuesIn(kEchoCases),
                         [](const auto& info) { return std::string(info.param.what); });

// With the latency timer, what is queued for the computer before a tick goes out in
// one piece at that tick: an answer without delay arrives in the same read as the
// echo in front of it, never in two.
TEST_F(SimTest, LatencyReleasesEchoAndAnswerTogether) {
  for (const bool echo : {true, false}) {
    SCOPED_TRACE(echo ? "echo" : "no echo");
    Options o;
    o.echo = echo;
    o.latency_ms = 150;
    o.delay_ms = 0;
    start(o);
    sim_bytes expected = echo ? kDevRead : sim_bytes{};
    expected.insert(expected.end(), kDevAnswer.begin(), kDevAnswer.end());
    for (int round = 0; round < 3; ++round) {
      ASSERT_TRUE(line_->write_bytes(kDevRead));
      EXPECT_EQ(line_->read_once(2000), expected) << "round " << round;
    }
    line_.reset();
    sim_->stop();
  }
}

// Nothing reaches the computer between ticks. Each byte is sent only after the echo
// of the one before has arrived, so every echo waits for a tick of its own: the
// rounds take at least (rounds - 1) periods. A lower bound, which a slow machine
// only makes easier to meet; without the timer the rounds take a few milliseconds.
TEST_F(SimTest, LatencyHoldsEveryByteUntilATick) {
  Options o;
  o.echo = true;
  o.latency_ms = 100;
  start(o);
  const int rounds = 5;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    const sim_bytes b = {static_cast<std::uint8_t>('a' + i)};
    ASSERT_TRUE(line_->write_bytes(b));
    ASSERT_EQ(line_->read_once(2000), b) << "round " << i;
  }
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds((rounds - 1) * o.latency_ms));
}

// A bus at 19200 baud: RAVIK converters at 5 and 77 (8-bit addresses) and a Modbus
// RTU converter at unit 9, each with a version of its own to tell who answered.
struct BusMember {
  int address;
  Protocol protocol;
  const char* version;
};
constexpr BusMember kBus[] = {{5, Protocol::ravik, "BUS-5"}, {77, Protocol::ravik, "BUS-77"}, {9, Protocol::modbus_rtu, "BUS-9"}};
constexpr int kBusBaud = 19200;

Options bus_options() {
  Options o;
  for (const BusMember& m : kBus) {
    ConverterOptions c;
    c.line.baud = kBusBaud;
    c.address = m.address;
    c.protocol = m.protocol;
    c.version = m.version;
    o.bus.push_back(c);
  }
  return o;
}

class SimBusTest : public SimTest {
 protected:
  void start_bus(Options o = bus_options()) {
    start(std::move(o));
    ASSERT_EQ(sim_->converter_count(), std::size(kBus));
    ASSERT_TRUE(line_->set(kBusBaud));
  }
  std::vector<long> answers() const {
    std::vector<long> a;
    for (std::size_t i = 0; i < sim_->converter_count(); ++i) a.push_back(sim_->state(i).answers);
    return a;
  }
  // The version a converter answers at a RAVIK address, or empty when none does.
  std::string ver_at(int address, bool addr11 = false, int timeout_ms = 1000) {
    const sim_bytes p = ravik_payload(ask(ravik_request(kParamVer, true, {}, address, addr11), timeout_ms));
    const sim_bytes field = data_field(p);
    return std::string(field.rbegin(), field.rend());
  }
};

// Only the converter a request is for answers; an address nobody has stays silent.
TEST_F(SimBusTest, OnlyTheAddressedConverterAnswers) {
  start_bus();
  struct Case {
    const char* what;
    sim_bytes request;
    int answering;  // index in kBus, or -1
    sim_bytes answer;
  };
  const int none = -1;
  // The Modbus frames come first: after RAVIK text the RTU converter, like a real
  // one, needs the line silent before a new frame.
  const Case cases[] = {
      {"RTU unit 9", rtu({9, 3, 0x00, 0x10, 0x00, 0x02}), 2, rtu({9, 3, 4, 0x4B, 0x10, 0x4B, 0x11})},
      {"RTU unit 5 speaks RAVIK", rtu({5, 3, 0x00, 0x10, 0x00, 0x02}), none, {}},
      {"RTU unit 10 is nobody", rtu({10, 3, 0x00, 0x10, 0x00, 0x02}), none, {}},
      {"RTU broadcast read", rtu({0, 3, 0x00, 0x10, 0x00, 0x02}), none, {}},
      {"RAVIK 5", ravik_request(kParamVer, true, {}, 5), 0, {}},
      {"RAVIK 77", ravik_request(kParamVer, true, {}, 77), 1, {}},
      // 616 in 11 bits is 77 in the first byte with the next three bits clear.
      {"RAVIK 11-bit 616 reaches 77", ravik_request(kParamVer, true, {}, 616, true), 1, {}},
      {"RAVIK 9 speaks Modbus", ravik_request(kParamVer, true, {}, 9), none, {}},
      {"RAVIK 6 is nobody", ravik_request(kParamVer, true, {}, 6), none, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<long> expected = answers();
    ASSERT_TRUE(line_->write_bytes(c.request));
    if (c.answering == none) {
      EXPECT_TRUE(line_->read_for(150).empty());
    } else if (kBus[c.answering].protocol == Protocol::modbus_rtu) {
      EXPECT_EQ(line_->read_count(c.answer.size()), c.answer);
      EXPECT_TRUE(line_->read_for(50).empty()) << "a second answer";
    } else {
      const sim_bytes p = ravik_payload(line_->read_ravik());
      ASSERT_GE(p.size(), 4u);
      EXPECT_EQ(p[0], kBus[c.answering].address);
      const sim_bytes field = data_field(p);
      EXPECT_EQ(std::string(field.rbegin(), field.rend()), kBus[c.answering].version);
      EXPECT_TRUE(line_->read_for(50).empty()) << "a second answer";
    }
    if (c.answering != none) ++expected[static_cast<std::size_t>(c.answering)];
    EXPECT_EQ(answers(), expected);
  }
  // The Modbus converter counts the RAVIK request at its own address it could not
  // answer, not those for the others.
  EXPECT_EQ(sim_->request_count(kParamVer, 2), 1);
}

// libmodbus as the bus master: the RTU converter answers its unit, nobody answers
// another, and a broadcast wake-up is obeyed by the Modbus converter and answered
// by none (libmodbus waits for an answer all the same and times out).
TEST_F(SimBusTest, ModbusMasterReachesOnlyItsUnitAndBroadcastsToAll) {
  start_bus();
  line_.reset();  // libmodbus takes the computer's end
  modbus_t* ctx = modbus_new_rtu(sim_->slave_path().c_str(), kBusBaud, 'N', 8, 1);
  ASSERT_NE(ctx, nullptr);
  ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
  modbus_set_response_timeout(ctx, 0, 300000);
  std::uint16_t regs[2] = {};
  ASSERT_EQ(modbus_set_slave(ctx, 9), 0);
  EXPECT_EQ(modbus_read_registers(ctx, 0x10, 2, regs), 2) << modbus_strerror(errno);
  EXPECT_EQ(regs[0], factory_register(0x10));
  EXPECT_EQ(regs[1], factory_register(0x11));
  for (const int unit : {5, 10}) {
    ASSERT_EQ(modbus_set_slave(ctx, unit), 0);
    EXPECT_EQ(modbus_read_registers(ctx, 0x10, 2, regs), -1) << "unit " << unit;
    EXPECT_EQ(errno, ETIMEDOUT) << "unit " << unit;
  }
  const std::vector<long> before = answers();
  ASSERT_EQ(modbus_set_slave(ctx, MODBUS_BROADCAST_ADDRESS), 0);
  EXPECT_EQ(modbus_write_bit(ctx, kWakeCoil, 1), -1);
  EXPECT_EQ(errno, ETIMEDOUT) << "nobody answers a broadcast";
  EXPECT_EQ(answers(), before);
  modbus_close(ctx);
  modbus_free(ctx);

  EXPECT_EQ(sim_->state(2).protocol, Protocol::ravik) << "the Modbus converter obeyed";
  for (std::size_t i : {0u, 1u}) EXPECT_EQ(sim_->state(i).count(kCountModbusCoil), 0) << "RAVIK converters hear no Modbus";
  line_ = std::make_unique<SimLine>(sim_->slave_path());
  ASSERT_TRUE(line_->set(kBusBaud));
  EXPECT_EQ(ver_at(9), "BUS-9") << "woken up, it answers RAVIK at its address";
  EXPECT_EQ(ver_at(5), "BUS-5");
}

// Settings written to one converter stay with it: the others keep their parameters
// and their line settings, and the line reaches each at its own settings.
TEST_F(SimBusTest, SettingsWrittenToOneLeaveTheOthers) {
  start_bus();
  std::vector<State> before;
  for (std::size_t i = 0; i < sim_->converter_count(); ++i) before.push_back(sim_->state(i));
  const std::pair<std::string_view, sim_bytes> writes[] = {
      {kParamBaud, {static_cast<std::uint8_t>(code_of(kBaudTable, 9600))}},
      {kParamLoopDev, as_bytes("CBA")},
  };
  for (const auto& [name, data] : writes)
    ASSERT_FALSE(ask(ravik_request(name, false, data, 5)).empty()) << name;
  ASSERT_TRUE(ask(ravik_request(kParamApply, false, {1}, 5), 150).empty());
  ASSERT_TRUE(sim_->wait_for_requests(kParamApply, 1, 2000, 0));
  EXPECT_EQ(sim_->state(0).line.baud, 9600);
  EXPECT_EQ(sim_->state(0).text(kParamLoopDev), "ABC");
  for (std::size_t i : {1u, 2u}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sim_->state(i).params, before[i].params);
    EXPECT_EQ(sim_->state(i).line, before[i].line);
  }
  EXPECT_EQ(ver_at(77), "BUS-77");
  EXPECT_EQ(ver_at(5, false, 150), "") << "5 listens at 9600 now";
  ASSERT_TRUE(line_->set(9600));
  EXPECT_EQ(ver_at(5), "BUS-5");
  EXPECT_EQ(ver_at(77, false, 150), "");
}

std::string read_text(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The state file holds every converter's state in the bus's order; a restart from it
// gives each converter its own back, and a file of another line is refused.
TEST_F(SimBusTest, StateFileKeepsEachConvertersState) {
  char tmpl[] = "/tmp/kv4t-sim-bus.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string state_file = std::string(tmpl) + "/state.json";
  Options o = bus_options();
  o.state_file = state_file;
  start_bus(o);
  ASSERT_FALSE(ask(ravik_request(kParamLoopDev, false, as_bytes("CBA"), 77)).empty());
  line_.reset();
  sim_->stop();

  nlohmann::json root = nlohmann::json::parse(read_text(state_file), nullptr, false);
  ASSERT_TRUE(root.is_object());
  nlohmann::json& converters = root["converters"];
  ASSERT_TRUE(converters.is_array());
  ASSERT_EQ(converters.size(), std::size(kBus));
  for (std::size_t i = 0; i < std::size(kBus); ++i) EXPECT_EQ(converters[i]["address"], kBus[i].address);
  EXPECT_EQ(converters[1]["params"][kParamLoopDev]["text"], "ABC");
  EXPECT_EQ(converters[0]["params"][kParamLoopDev]["text"], kFactoryLoopDevice);

  start_bus(o);
  EXPECT_EQ(sim_->state(1).text(kParamLoopDev), "ABC");
  EXPECT_EQ(sim_->state(0).text(kParamLoopDev), kFactoryLoopDevice);
  EXPECT_EQ(sim_->state(2).protocol, Protocol::modbus_rtu);
  line_.reset();
  sim_->stop();

  // Another line: one converter, or a bus of two.
  Options one;
  one.state_file = state_file;
  Options two = bus_options();
  two.bus.pop_back();
  two.state_file = state_file;
  for (const Options& other : {one, two}) {
    Simulator s(other);
    std::string error;
    EXPECT_FALSE(s.start(&error));
    EXPECT_NE(error.find("converters"), std::string::npos) << error;
  }
  std::remove(state_file.c_str());
  rmdir(tmpl);
}

}  // namespace
}  // namespace kv4t::sim
