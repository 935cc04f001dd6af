// What the simulator's tests share: RAVIK requests built as the configurator builds
// them, answers taken apart, and a fixture that starts the converter and opens the
// computer's end of its line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "sim/sim.h"
#include "sim/sim_constants.h"
#include "sim/wire.h"
#include "tests/sim/sim_line.h"

namespace kv4t::sim {

// Test names and failure messages show the protocol by name.
inline void PrintTo(Protocol p, std::ostream* os) { *os << protocol_name(p); }

// A RAVIK request as the configurator builds it.
inline sim_bytes ravik_request(std::string_view name, bool is_read, const sim_bytes& data = {}, int address = kFactoryAddress,
                        bool addr11 = false) {
  const std::uint16_t h = ravik_name_hash(name);
  sim_bytes p = {static_cast<std::uint8_t>(addr11 ? (address >> 3) & 0xFF : address & 0xFF),
                 static_cast<std::uint8_t>((addr11 ? (address & 7) << 5 : 0) | (is_read ? 0x10 : 0) | data.size()),
                 static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h & 0xFF)};
  for (std::uint8_t b : data) p.push_back(b);
  return ravik_frame(p);
}

// The payload of a RAVIK answer, or empty when the bytes are no good frame.
inline sim_bytes ravik_payload(const sim_bytes& frame) {
  sim_bytes p;
  return ravik_unframe(frame.data(), frame.size(), p) ? p : sim_bytes{};
}

inline sim_bytes data_field(const sim_bytes& payload) {
  return payload.size() > 4 ? sim_bytes(payload.begin() + 4, payload.end()) : sim_bytes{};
}

class SimTest : public ::testing::Test {
 protected:
  // Starts the converter with these options and opens the computer's end at 9600 8-N-1.
  void start(Options o = {}) {
    sim_ = std::make_unique<Simulator>(std::move(o));
    std::string error;
    ASSERT_TRUE(sim_->start(&error)) << error;
    line_ = std::make_unique<SimLine>(sim_->slave_path());
    ASSERT_TRUE(line_->ok());
    ASSERT_TRUE(line_->set(9600));
  }
  sim_bytes ask(const sim_bytes& request, int timeout_ms = 1000) {
    EXPECT_TRUE(line_->write_bytes(request));
    return line_->read_ravik(timeout_ms);
  }
  std::unique_ptr<Simulator> sim_;
  std::unique_ptr<SimLine> line_;
};

inline sim_bytes rtu(const sim_bytes& pdu) { return modbus_rtu_frame(pdu); }

}  // namespace kv4t::sim
