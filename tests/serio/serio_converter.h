// The channel against a converter on a real line, for the cases written once in
// serio_converter_test.cpp: natively the simulated converter runs in process on a
// pseudo-terminal, started afresh for each case (serio_sim_test.cpp); under Wine it
// is the native simulator that ctest started and linked as the COM port
// $KV4T_WINE_PORT (serio_wine_test.cpp). Each of those two files defines the
// converter_host and the setups below for its platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/ravik.h"
#include "link/serio.h"
#include "log_capture.h"
#include "sim/sim_constants.h"

// How the converter listens, in the channel's values (parity 0 none, 1 odd,
// 2 even; stopbits 0 one, 2 two), and the protocol it speaks.
struct converter_setup {
  int baud = kv4t::sim::kFactoryBaud;
  int bytesize = kv4t::sim::kFactoryBits;
  int parity = 0;
  int stopbits = 0;
  kv4t::sim::Protocol protocol = kv4t::sim::Protocol::ravik;

  // As the channel logs the line: "9600 8-n-1".
  std::string text() const {
    return std::to_string(baud) + " " + std::to_string(bytesize) + "-" + "noe"[parity] + "-" +
           (stopbits == 2 ? "2" : "1");
  }
};

inline void PrintTo(const converter_setup& s, std::ostream* os) { *os << s.text(); }

// The setups the shared cases run at on this platform: the converter speaking
// RAVIK, and speaking Modbus RTU.
std::vector<converter_setup> ravik_converter_setups();
std::vector<converter_setup> modbus_rtu_converter_setups();

// The converter on the far side of the line.
class converter_host {
 public:
  converter_host();
  ~converter_host();
  converter_host(const converter_host&) = delete;
  converter_host& operator=(const converter_host&) = delete;

  // Makes the converter of setup reachable and answers the port name the channel
  // opens; empty, with the reason in why, when there is none.
  std::wstring start(const converter_setup& setup, std::string& why);
  // How many requests of this name the converter has seen, and how many bytes it
  // ignored because the line settings differed; nullopt where the platform's
  // converter cannot tell the test.
  std::optional<long> request_count(const char* name) const;
  std::optional<long> ignored_bytes() const;

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

// A RAVIK read request for a parameter of the converter at address.
inline std::vector<uint8_t> read_request(const char* name,
                                         int address = kv4t::sim::kFactoryAddress) {
  std::vector<uint8_t> data;
  ravik_make_request(data, true, false, address, ravik_hash(name, nullptr));
  return data;
}

// A RAVIK text answer's data field, put back in reading order.
inline std::string answer_text(const std::vector<uint8_t>& payload) {
  if (payload.size() < ravik_header_bytes) return {};
  return std::string(payload.rbegin(), payload.rend() - ravik_header_bytes);
}

// A channel opened on the converter of the case's setup, at its line settings,
// lent a RAVIK codec; the log captured from before the open.
class serio_converter : public ::testing::TestWithParam<converter_setup> {
 protected:
  void SetUp() override {
    const converter_setup& line = GetParam();
    std::string why;
    port = host.start(line, why);
    if (port.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(channel.set_params(line.baud, line.bytesize, line.parity, line.stopbits));
    ASSERT_TRUE(channel.open(port)) << channel.os_error();
    channel.codec = &ravik;
  }
  std::string tag() const { return "serio(" + std::string(port.begin(), port.end()) + "): "; }

  log_capture log;
  converter_host host;
  std::wstring port;
  serio channel;
  ravik_codec ravik;
};

// The same with the converter speaking Modbus RTU.
class serio_converter_rtu : public serio_converter {};
