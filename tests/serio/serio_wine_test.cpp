// The Windows channel over the Win32 communications API, against the simulated
// converter whose pseudo-terminal is linked as the COM port named by
// $KV4T_WINE_PORT in the Wine prefix (tests/wine-with-sim).
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "link/diag_log.h"
#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "link/serio.h"
#include "sim/sim_constants.h"

namespace {

namespace sim = kv4t::sim;
using bytes = std::vector<uint8_t>;

struct log_capture {
  std::vector<std::string> lines;
  log_capture() { diag_log_sink(&log_capture::sink, this); }
  ~log_capture() { diag_log_sink(nullptr, nullptr); }
  static void sink(void* self, const char* line) {
    static_cast<log_capture*>(self)->lines.emplace_back(std::strlen(line) >= 15 ? line + 15 : line);
  }
  bool has(const std::string& text) const {
    for (const auto& l : lines)
      if (l == text) return true;
    return false;
  }
  bool has_prefix(const std::string& text) const {
    for (const auto& l : lines)
      if (l.compare(0, text.size(), text) == 0) return true;
    return false;
  }
};

std::wstring port_under_test() {
  const char* name = std::getenv("KV4T_WINE_PORT");
  if (!name || !*name) return {};
  return std::wstring(name, name + std::strlen(name));
}

bytes read_request(const char* name) {
  bytes data;
  ravik_make_request(data, true, false, sim::kFactoryAddress, ravik_hash(name, nullptr));
  return data;
}

// A RAVIK text answer's data field, put back in reading order.
std::string answer_text(const bytes& payload) {
  if (payload.size() < 4) return {};
  return std::string(payload.rbegin(), payload.rend() - 4);
}

// The line settings the converter listens at: $KV4T_SERIO_LINE as
// "baud bytesize parity stopbits" in the channel's values, else 9600 8-n-1.
struct line_settings {
  int baud = 9600, bytesize = 8, parity = 0, stopbits = 0;
  std::string text() const {
    return std::to_string(baud) + " " + std::to_string(bytesize) + "-" + "noe"[parity] + "-" +
           (stopbits == 2 ? "2" : "1");
  }
};

line_settings converter_line() {
  line_settings l;
  if (const char* text = std::getenv("KV4T_SERIO_LINE"))
    std::sscanf(text, "%d %d %d %d", &l.baud, &l.bytesize, &l.parity, &l.stopbits);
  return l;
}

class serio_wine : public ::testing::Test {
 protected:
  void SetUp() override {
    port = port_under_test();
    if (port.empty()) GTEST_SKIP() << "KV4T_WINE_PORT names no port";
    ASSERT_TRUE(channel.set_params(line.baud, line.bytesize, line.parity, line.stopbits));
    ASSERT_TRUE(channel.open(port)) << channel.os_error();
    channel.codec = &ravik;
  }
  const line_settings line = converter_line();
  std::string tag() const { return "serio(" + std::string(port.begin(), port.end()) + "): "; }

  log_capture log;
  std::wstring port;
  serio channel;
  ravik_codec ravik;
};

TEST_F(serio_wine, identifies_the_converter_in_every_switching_mode) {
  EXPECT_TRUE(log.has(tag() + "установлены новые параметры обмена " + line.text() + "\r\n"));
  // A pseudo-terminal has no RTS or DTR: Wine refuses to switch them, and the
  // channel sends all the same.
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
}

TEST_F(serio_wine, silence_and_a_foreign_rate_end_without_answer) {
  bytes answer;
  // A name the converter does not know gets no answer.
  EXPECT_FALSE(channel.transact(read_request("zzzz"), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
  EXPECT_TRUE(log.has(tag() + "очередной байт пакета не пришел в назначенное время\r\n"));
  // At another rate the converter hears nothing it understands.
  const int other = line.baud == 19200 ? 38400 : 19200;
  ASSERT_TRUE(channel.set_params(other, line.bytesize, line.parity, line.stopbits));
  EXPECT_TRUE(log.has_prefix(tag() + "установлены новые параметры обмена " + std::to_string(other)));
  EXPECT_FALSE(channel.transact(read_request("dev"), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
  // Back at its rate it answers again.
  ASSERT_TRUE(channel.set_params(line.baud, line.bytesize, line.parity, line.stopbits));
  EXPECT_TRUE(channel.transact(read_request("dev"), answer, true)) << channel.status();
}

bool under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST_F(serio_wine, the_port_is_listed_and_exclusive) {
  EXPECT_EQ(port_device_path(port), L"\\\\.\\" + port);
  // Open (busy) counts as present.
  EXPECT_TRUE(serial_port_present(port));
  serio second;
  const bool opened = second.open(port);
  // Windows' serial driver refuses a second opener; Wine shares the device
  // regardless of the share mode, so there only the first open is checked.
  if (!under_wine()) {
    EXPECT_FALSE(opened);
    EXPECT_EQ(second.status(), serio_open_failed);
    EXPECT_TRUE(second.os_error() == ERROR_SHARING_VIOLATION ||
                second.os_error() == ERROR_ACCESS_DENIED)
        << second.os_error();
  }
  second.close();
  channel.close();
  EXPECT_TRUE(second.open(port)) << second.os_error();
}

TEST(serio_wine_names, a_name_that_is_not_com_is_a_path) {
  EXPECT_EQ(port_device_path(L"\\\\.\\pipe\\nothing"), L"\\\\.\\pipe\\nothing");
  EXPECT_EQ(port_device_path(L"COM1"), L"\\\\.\\COM1");
  log_capture log;
  serio channel;
  EXPECT_FALSE(channel.open(L"COM250"));
  EXPECT_EQ(channel.status(), serio_open_failed);
  EXPECT_NE(channel.os_error(), 0u);
  EXPECT_TRUE(log.has("serio(\\\\.\\COM250): ошибка открытия порта (" +
                      std::to_string(channel.os_error()) + ")\r\n"));
}

// The converter speaking Modbus RTU (the simulator started with that protocol):
// holding registers read whole, the answer's length known from its header, and
// the wake-up coil.
TEST(serio_wine_rtu, holding_registers_and_wake_up) {
  const std::wstring port = port_under_test();
  if (port.empty()) GTEST_SKIP() << "KV4T_WINE_PORT names no port";
  serio channel;
  ASSERT_TRUE(channel.open(port)) << channel.os_error();
  modbus_rtu_codec rtu;
  channel.codec = &rtu;
  modbus_request read;
  read.set_function(3);
  read.set_unit(sim::kFactoryAddress);
  ASSERT_EQ(read.set_range(0x20, 16), 0);
  bytes request, answer, data;
  ASSERT_EQ(read.build(request, -1), 0);
  ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
  ASSERT_EQ(read.check_answer(answer, -1), 0);
  ASSERT_EQ(read.take_data(data), 0);
  ASSERT_EQ(data.size(), 32u);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ((data[2 * i] << 8) | data[2 * i + 1], sim::factory_register(0x20 + i));

  modbus_request wake;
  wake.set_function(5);
  wake.set_unit(sim::kFactoryAddress);
  ASSERT_EQ(wake.set_range(sim::kWakeCoil, 0xFF00), 0);
  ASSERT_EQ(wake.build(request, -1), 0);
  ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(wake.check_answer(answer, -1), 0);
  // Back in RAVIK.
  ravik_codec ravik;
  channel.codec = &ravik;
  ASSERT_TRUE(channel.transact(read_request("dev"), answer, true)) << channel.status();
  EXPECT_EQ(answer_text(answer), sim::kFactoryDevice);
}

}  // namespace
