// The channel against the converter on a real line, each case written once: the
// native build runs it against the simulated converter on a pseudo-terminal, the
// Windows build under Wine against the simulator linked as a COM port.
#include <string>
#include <utility>
#include <vector>

#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
#include "serio_converter.h"

namespace {

namespace sim = kv4t::sim;
using bytes = std::vector<uint8_t>;

TEST_P(serio_converter, identifies_the_converter_in_every_switching_mode) {
  EXPECT_TRUE(log.has(tag() + "установлены новые параметры обмена " + GetParam().text() + "\r\n"));
  // A pseudo-terminal has no RTS or DTR: switching them fails, and the channel
  // sends all the same.
  for (int mode : {0, 1, 2}) {
    ASSERT_TRUE(channel.set_line_control(mode));
    bytes answer;
    ASSERT_TRUE(channel.transact(read_request("dev"), answer, true))
        << "mode " << mode << " status " << channel.status();
    EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
    EXPECT_EQ(answer[1] & ravik_request_flag, 0);
  }
  bytes answer;
  ASSERT_TRUE(channel.transact(read_request("ver"), answer, true)) << channel.status();
  EXPECT_EQ(answer_text(answer), sim::kFactoryVersion);
  EXPECT_TRUE(log.has(tag() + "принят правильный кадр\r\n"));
  EXPECT_EQ(channel.rts_margin(), 400u);
  if (const auto count = host.request_count("dev")) {
    EXPECT_EQ(*count, 3);
  }
}

// Whatever the converter does not hear as its own ends without an answer: a name
// it does not know, another address, another rate, other stop bits. Back at its
// own settings it answers again.
TEST_P(serio_converter, foreign_names_addresses_and_line_settings_end_without_answer) {
  const converter_setup& line = GetParam();
  bytes answer;
  EXPECT_FALSE(channel.transact(read_request("zzzz"), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
  EXPECT_TRUE(log.has(tag() + "очередной байт пакета не пришел в назначенное время\r\n"));

  EXPECT_FALSE(channel.transact(read_request("dev", 17), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);

  const int other_baud = line.baud == 19200 ? 38400 : 19200;
  const int other_stopbits = line.stopbits == 2 ? 0 : 2;
  const std::pair<int, int> foreign[] = {{other_baud, line.stopbits}, {line.baud, other_stopbits}};
  for (const auto& [baud, stopbits] : foreign) {
    ASSERT_TRUE(channel.set_params(baud, line.bytesize, line.parity, stopbits));
    EXPECT_TRUE(log.has_prefix(tag() + "установлены новые параметры обмена " + std::to_string(baud)));
    const auto ignored_before = host.ignored_bytes();
    EXPECT_FALSE(channel.transact(read_request("dev"), answer, true)) << baud << " " << stopbits;
    EXPECT_EQ(channel.status(), serio_no_answer);
    if (ignored_before) {
      EXPECT_GT(*host.ignored_bytes(), *ignored_before) << baud << " " << stopbits;
    }
  }

  ASSERT_TRUE(channel.set_params(line.baud, line.bytesize, line.parity, line.stopbits));
  EXPECT_TRUE(channel.transact(read_request("dev"), answer, true)) << channel.status();
  EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
}

// Holding registers read whole (the answer's length known from its header), the
// wake-up coil, and RAVIK again after it.
TEST_P(serio_converter_rtu, holding_registers_and_wake_up) {
  modbus_rtu_codec rtu;
  channel.codec = &rtu;
  const struct {
    uint16_t first;
    int count;
  } ranges[] = {{0x10, 8}, {0x20, 16}};
  for (const auto& r : ranges) {
    modbus_request read;
    read.set_function(3);
    read.set_unit(sim::kFactoryAddress);
    ASSERT_EQ(read.set_range(r.first, r.count), 0);
    bytes request, answer, data;
    ASSERT_EQ(read.build(request, -1), 0);
    ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
    ASSERT_EQ(read.check_answer(answer, -1), 0);
    ASSERT_EQ(read.take_data(data), 0);
    ASSERT_EQ(data.size(), 2u * static_cast<unsigned>(r.count));
    for (int i = 0; i < r.count; ++i)
      EXPECT_EQ((data[2 * i] << 8) | data[2 * i + 1], sim::factory_register(r.first + i));
  }

  modbus_request wake;
  wake.set_function(5);
  wake.set_unit(sim::kFactoryAddress);
  ASSERT_EQ(wake.set_range(sim::kWakeCoil, 0xFF00), 0);
  bytes request, answer;
  ASSERT_EQ(wake.build(request, -1), 0);
  ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(wake.check_answer(answer, -1), 0);

  channel.codec = &ravik;
  ASSERT_TRUE(channel.transact(read_request("dev"), answer, true)) << channel.status();
  EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
}

// "9600_8n1", a name gtest accepts.
std::string setup_name(const ::testing::TestParamInfo<converter_setup>& info) {
  const converter_setup& s = info.param;
  return std::to_string(s.baud) + "_" + std::to_string(s.bytesize) + "noe"[s.parity] +
         (s.stopbits == 2 ? "2" : "1");
}

INSTANTIATE_TEST_SUITE_P(line, serio_converter, ::testing::ValuesIn(ravik_converter_setups()),
                         setup_name);
INSTANTIATE_TEST_SUITE_P(line, serio_converter_rtu,
                         ::testing::ValuesIn(modbus_rtu_converter_setups()), setup_name);

}  // namespace
