// The Windows channel over the Win32 communications API, against the simulated
// converter whose pseudo-terminal is linked as the COM port named by
// $KV4T_WINE_PORT in the Wine prefix (tests/wine-with-sim): the converter of the
// shared cases (serio_converter_test.cpp) on this platform, and what only Windows
// has.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "serio_converter.h"

namespace {

std::wstring port_under_test() {
  const char* name = std::getenv("KV4T_WINE_PORT");
  if (!name || !*name) return {};
  return std::wstring(name, name + std::strlen(name));
}

// The line settings the converter listens at: $KV4T_SERIO_LINE as
// "baud bytesize parity stopbits" in the channel's values, else 9600 8-n-1.
converter_setup converter_line(kv4t::sim::Protocol protocol) {
  converter_setup s;
  if (const char* text = std::getenv("KV4T_SERIO_LINE"))
    std::sscanf(text, "%d %d %d %d", &s.baud, &s.bytesize, &s.parity, &s.stopbits);
  s.protocol = protocol;
  return s;
}

}  // namespace

// The converter ctest started speaks one protocol at one line setting; each run
// picks the cases of its protocol by filter.
std::vector<converter_setup> ravik_converter_setups() {
  return {converter_line(kv4t::sim::Protocol::ravik)};
}

std::vector<converter_setup> modbus_rtu_converter_setups() {
  return {converter_line(kv4t::sim::Protocol::modbus_rtu)};
}

struct converter_host::impl {};

converter_host::converter_host() = default;
converter_host::~converter_host() = default;

std::wstring converter_host::start(const converter_setup&, std::string& why) {
  const std::wstring port = port_under_test();
  if (port.empty()) why = "KV4T_WINE_PORT names no port";
  return port;
}

// The simulator runs outside the test; its counts stay with it.
std::optional<long> converter_host::request_count(const char*) const { return std::nullopt; }
std::optional<long> converter_host::ignored_bytes() const { return std::nullopt; }

namespace {

bool under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST_P(serio_converter, the_port_is_listed_and_exclusive) {
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

}  // namespace
