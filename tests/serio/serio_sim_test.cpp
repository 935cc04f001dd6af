// The channel against the simulated converter, run in process on its own thread.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/diag_log.h"
#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "link/serio.h"
#include "sim/sim.h"

namespace {

namespace sim = kv4t::sim;
using bytes = std::vector<uint8_t>;

bytes read_request(const char* name, int address = sim::kFactoryAddress) {
  bytes data;
  ravik_make_request(data, true, false, address, ravik_hash(name, nullptr));
  return data;
}

std::string answer_text(const bytes& payload) {
  if (payload.size() < 4) return {};
  return std::string(payload.rbegin(), payload.rend() - 4);
}

// A converter with the given options and a channel opened on it at the line
// settings the converter listens at.
struct sim_link {
  explicit sim_link(sim::Options options = {}) : converter(options) {
    std::string error;
    started = converter.start(&error);
    EXPECT_TRUE(started) << error;
    if (!started) return;
    const std::string& path = converter.slave_path();
    opened = channel.open(std::wstring(path.begin(), path.end()));
    const auto& l = options.line;
    channel.set_params(l.baud, l.bits, static_cast<int>(l.parity), l.stop_bits == 2 ? 2 : 0);
    channel.codec = &ravik;
  }
  bool ready() const { return started && opened; }

  sim::Simulator converter;
  serio channel;
  ravik_codec ravik;
  bool started = false;
  bool opened = false;
};

TEST(serio_sim, identifies_the_converter_at_every_standard_rate_and_framing) {
  struct {
    int baud, bits;
    sim::Parity parity;
    int stop_bits;
  } const lines[] = {
      {9600, 8, sim::Parity::none, 1},  {2400, 8, sim::Parity::none, 1},
      {14400, 7, sim::Parity::even, 2}, {28800, 8, sim::Parity::odd, 1},
      {115200, 8, sim::Parity::none, 2},
  };
  for (const auto& l : lines) {
    sim::Options options;
    options.line = {l.baud, l.bits, l.parity, l.stop_bits};
    sim_link link(options);
    ASSERT_TRUE(link.ready());
    bytes answer;
    ASSERT_TRUE(link.channel.transact(read_request("dev"), answer, true))
        << l.baud << " status " << link.channel.status();
    EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
    ASSERT_TRUE(link.channel.transact(read_request("ver"), answer, true)) << l.baud;
    EXPECT_EQ(answer_text(answer), sim::kFactoryVersion);
    EXPECT_EQ(link.converter.request_count("dev"), 1);
  }
}

TEST(serio_sim, a_foreign_line_setting_or_address_gets_no_answer) {
  sim_link link;
  ASSERT_TRUE(link.ready());
  bytes answer;
  ASSERT_TRUE(link.channel.set_params(9600, 8, 0, 2));  // the converter has one stop bit
  EXPECT_FALSE(link.channel.transact(read_request("dev"), answer, true));
  EXPECT_EQ(link.channel.status(), serio_no_answer);
  EXPECT_GT(link.converter.state().ignored_bytes, 0);
  ASSERT_TRUE(link.channel.set_params(9600, 8, 0, 0));
  EXPECT_FALSE(link.channel.transact(read_request("dev", 17), answer, true));
  EXPECT_EQ(link.channel.status(), serio_no_answer);
  EXPECT_TRUE(link.channel.transact(read_request("dev"), answer, true));
}

struct fault_case {
  const char* what;
  sim::Faults faults;
  int status;
};

void PrintTo(const fault_case& c, std::ostream* os) { *os << c.what; }

class serio_sim_faults : public ::testing::TestWithParam<fault_case> {};

TEST_P(serio_sim_faults, end_in_their_status) {
  sim::Options options;
  options.faults = GetParam().faults;
  sim_link link(options);
  ASSERT_TRUE(link.ready());
  bytes answer;
  EXPECT_EQ(link.channel.transact(read_request("dev"), answer, true),
            GetParam().status == serio_ok);
  EXPECT_EQ(link.channel.status(), GetParam().status);
}

sim::Faults silent() {
  sim::Faults f;
  f.silent = true;
  return f;
}
sim::Faults truncated() {
  sim::Faults f;
  f.truncate_bytes = 4;
  return f;
}
sim::Faults wrong_check() {
  sim::Faults f;
  f.bad_check = true;
  return f;
}
sim::Faults late(int ms) {
  sim::Faults f;
  f.extra_delay_ms = ms;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    faults, serio_sim_faults,
    ::testing::Values(fault_case{"silent", silent(), serio_no_answer},
                      fault_case{"truncated", truncated(), serio_answer_timeout},
                      fault_case{"wrong_check", wrong_check(), serio_bad_checksum},
                      // Within the 50 ms pause plus the port's 80 ms for the first byte.
                      fault_case{"late_but_in_time", late(60), serio_ok},
                      fault_case{"too_late", late(400), serio_no_answer}));

// Noise before each answer: the channel's margin steps down and the answers
// still get through.
TEST(serio_sim, noise_before_answers_lowers_the_margin_to_100) {
  sim::Options options;
  options.faults.noise_bytes = 2;
  sim_link link(options);
  ASSERT_TRUE(link.ready());
  for (uint32_t margin : {300u, 200u, 100u, 100u}) {
    bytes answer;
    bool ok = link.channel.transact(read_request("dev"), answer, true);
    // Noise that happens to be '#' starts a frame of its own and spoils it.
    if (ok) {
      EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
    }
    EXPECT_EQ(link.channel.rts_margin(), margin);
  }
}

TEST(serio_sim, modbus_rtu_holding_registers_and_wake_up) {
  for (int baud : {9600, 115200}) {
    sim::Options options;
    options.protocol = sim::Protocol::modbus_rtu;
    options.line.baud = baud;
    sim_link link(options);
    ASSERT_TRUE(link.ready());
    modbus_rtu_codec rtu;
    link.channel.codec = &rtu;

    modbus_request read;
    read.set_function(3);
    read.set_unit(sim::kFactoryAddress);
    ASSERT_EQ(read.set_range(0x10, 8), 0);
    bytes request, answer, data;
    ASSERT_EQ(read.build(request, -1), 0);
    ASSERT_TRUE(link.channel.transact(request, answer, true)) << link.channel.status();
    ASSERT_EQ(read.check_answer(answer, -1), 0);
    ASSERT_EQ(read.take_data(data), 0);
    ASSERT_EQ(data.size(), 16u);
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ((data[2 * i] << 8) | data[2 * i + 1], sim::factory_register(0x10 + i));

    modbus_request wake;
    wake.set_function(5);
    wake.set_unit(sim::kFactoryAddress);
    ASSERT_EQ(wake.set_range(sim::kWakeCoil, 0xFF00), 0);
    ASSERT_EQ(wake.build(request, -1), 0);
    ASSERT_TRUE(link.channel.transact(request, answer, true)) << link.channel.status();
    EXPECT_EQ(wake.check_answer(answer, -1), 0);

    link.channel.codec = &link.ravik;
    ASSERT_TRUE(link.channel.transact(read_request("dev"), answer, true));
    EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
  }
}

}  // namespace
