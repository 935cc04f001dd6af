// The channel's checks that need no port, and the port-name and baud helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/baud_rates.h"
#include "link/ravik.h"
#include "link/serio.h"
#include "log_capture.h"

namespace {

TEST(serio_helpers, standard_baud_rates) {
  const std::vector<int> rates(std::begin(standard_baud_rates), std::end(standard_baud_rates));
  EXPECT_EQ(rates, (std::vector<int>{2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200}));
  for (int baud : rates) EXPECT_TRUE(is_standard_baud_rate(baud)) << baud;
  for (int baud : {0, -9600, 1200, 9601, 56000, 230400})
    EXPECT_FALSE(is_standard_baud_rate(baud)) << baud;
}

TEST(serio_helpers, port_names_and_numbers) {
  struct {
    const wchar_t* name;
    int number;
  } const cases[] = {
      {L"COM1", 1},   {L"COM255", 255}, {L"COM07", 7},        {L"COM12x", 12},
      {L"COM", -1},   {L"com1", -1},    {L"COMx", -1},        {L"/dev/ttyS0", -1},
      {L"", -1},      {L"COM-1", -1},   {L"COM99999999999", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(serial_port_number(c.name), c.number) << c.name;
  EXPECT_EQ(serial_port_name(7), L"COM7");
  EXPECT_EQ(serial_port_number(serial_port_name(254)), 254);
  EXPECT_FALSE(serial_port_present(L"not a port"));
}

// A port name that is not valid text (here a lone surrogate) reaches the port
// layer and the log with U+FFFD in its place; the open fails cleanly.
TEST(serio_helpers, a_malformed_port_name_fails_to_open_and_is_logged_readably) {
  log_capture log;
  std::wstring name = L"/nonexistent/tty";
  name += static_cast<wchar_t>(0xD800);
  serio channel;
  EXPECT_FALSE(channel.open(name));
  EXPECT_EQ(channel.status(), serio_open_failed);
  EXPECT_TRUE(log.has("serio(/nonexistent/tty\xEF\xBF\xBD): ошибка открытия порта (" +
                      std::to_string(channel.os_error()) + ")\r\n"))
      << (log.lines.empty() ? "" : log.lines.back());
}

struct params_case {
  int baud, bytesize, parity, stopbits;
  int status;
};

TEST(serio_params, validated_in_order_and_stored_only_when_valid) {
  const params_case cases[] = {
      {1234, 9, 9, 9, serio_bad_baud},     {0, 8, 0, 0, serio_bad_baud},
      {9600, 9, 9, 9, serio_bad_bytesize}, {9600, 6, 0, 0, serio_bad_bytesize},
      {9600, 8, 9, 9, serio_bad_stopbits}, {9600, 8, 0, 1, serio_bad_stopbits},
      {9600, 8, 3, 0, serio_bad_parity},   {9600, 8, -1, 2, serio_bad_parity},
      {14400, 7, 1, 2, serio_ok},          {115200, 8, 0, 0, serio_ok},
  };
  for (const auto& c : cases) {
    serio channel;
    const bool ok = channel.set_params(c.baud, c.bytesize, c.parity, c.stopbits);
    EXPECT_EQ(ok, c.status == serio_ok) << c.baud << " " << c.bytesize;
    EXPECT_EQ(channel.status(), c.status) << c.baud << " " << c.bytesize;
    if (!ok) {
      EXPECT_EQ(channel.baud(), 9600);
    }
  }
  // The current values pass at once, on a closed port too.
  serio channel;
  EXPECT_TRUE(channel.set_params(9600, 8, 0, 0));
  EXPECT_TRUE(channel.set_params(14400, 7, 1, 2));
  EXPECT_EQ(channel.framing_bits(), 4);
  EXPECT_EQ(channel.stopbits(), 2);
}

TEST(serio_params, conversions_add_the_margin) {
  serio channel;
  const int64_t f = serio::counter_frequency();
  ASSERT_GT(f, 0);
  EXPECT_EQ(channel.rts_margin(), 400u);
  EXPECT_EQ(channel.us_to_ticks(0), 400 * (f / 1000000));
  EXPECT_EQ(channel.us_to_ticks(10000), 10400 * (f / 1000000));
  EXPECT_EQ(serio::ticks_to_us(f), 1000000);
  EXPECT_TRUE(channel.set_turnaround(10000));
  EXPECT_EQ(channel.turnaround_ticks(), channel.us_to_ticks(10000));
  // A deadline in the past returns at once.
  EXPECT_TRUE(channel.wait_until(0));
}

TEST(serio_params, closed_channel_refuses_to_transact) {
  serio channel;
  ravik_codec codec;
  channel.codec = &codec;
  std::vector<uint8_t> answer;
  EXPECT_FALSE(channel.transact({16, 0x10, 0, 0}, answer, true));
  EXPECT_EQ(channel.status(), serio_not_open);
  channel.close();
  EXPECT_EQ(channel.status(), serio_not_open);
}

}  // namespace
