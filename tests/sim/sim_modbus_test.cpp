// kv4t-sim speaking Modbus RTU and ASCII after the protocol switch: holding
// registers, exceptions, garbled frames and the wake-up back to RAVIK.
#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace kv4t::sim {
namespace {

class SimModbusTest : public SimTest, public ::testing::WithParamInterface<Protocol> {
 protected:
  sim_bytes frame(const sim_bytes& pdu) const {
    return GetParam() == Protocol::modbus_rtu ? modbus_rtu_frame(pdu) : modbus_ascii_frame(pdu);
  }
  // The answer's unit, function and data, or empty.
  sim_bytes modbus_ask(const sim_bytes& pdu, int timeout_ms = 1000) {
    EXPECT_TRUE(line_->write_bytes(frame(pdu)));
    if (GetParam() == Protocol::modbus_rtu) {
      const sim_bytes a = line_->read_until(
          [](const sim_bytes& b) {
            if (b.size() < 3) return false;
            if (b[1] & 0x80) return b.size() >= 5;
            if (b[1] == 3) return b.size() >= static_cast<std::size_t>(b[2]) + 5;
            return b.size() >= 8;
          },
          timeout_ms);
      if (a.size() < 4 || modbus_crc(a.data(), a.size() - 2) != (a[a.size() - 2] | a[a.size() - 1] << 8)) return {};
      return sim_bytes(a.begin(), a.end() - 2);
    }
    const sim_bytes a = line_->read_until([](const sim_bytes& b) { return b.size() > 2 && b.back() == '\n'; }, timeout_ms);
    sim_bytes pdu_out;
    return modbus_ascii_unframe(a.data(), a.size(), pdu_out) ? pdu_out : sim_bytes{};
  }
};

TEST_P(SimModbusTest, ProtocolSwitchRegistersAndWakeUp) {
  Options o;
  o.registers[0x20] = -1;
  o.registers[0x10] = 0x1234;
  o.registers[0x11] = 0xBEEF;
  start(o);
  // The configurator's switch: "PrOt" in the converter's own codes, then "APLY".
  const int code = GetParam() == Protocol::modbus_rtu ? kProtoCodeRtu : kProtoCodeAscii;
  ASSERT_FALSE(ask(ravik_request(kParamProto, false, {static_cast<std::uint8_t>(code)})).empty());
  EXPECT_TRUE(ask(ravik_request(kParamApply, false, {1}), 150).empty());
  EXPECT_EQ(sim_->state().protocol, GetParam());
  EXPECT_TRUE(ask(ravik_request(kParamDev, true), 150).empty()) << "speaks only Modbus now";
  EXPECT_EQ(sim_->request_count(kParamDev), 1) << "the unanswered RAVIK request is still counted";

  EXPECT_EQ(modbus_ask({16, 3, 0x00, 0x10, 0x00, 0x02}), (sim_bytes{16, 3, 4, 0x12, 0x34, 0xBE, 0xEF}));
  EXPECT_EQ(modbus_ask({16, 3, 0x00, 0x20, 0x00, 0x02}), (sim_bytes{16, 0x83, kExIllegalAddress}));
  EXPECT_EQ(modbus_ask({16, 3, 0x01, 0x00, 0x00, 0x01}), (sim_bytes{16, 0x83, kExIllegalAddress}));
  EXPECT_EQ(modbus_ask({16, 3, 0x00, 0x10, 0x00, 0x00}), (sim_bytes{16, 0x83, kExIllegalValue}));
  // The last register is readable with a quantity of 2; what lies past it reads as 0.
  EXPECT_EQ(modbus_ask({16, 3, 0x00, 0xFF, 0x00, 0x02}), (sim_bytes{16, 3, 4, 0x4B, 0xFF, 0, 0}));
  EXPECT_EQ(modbus_ask({16, 6, 0x00, 0x10, 0x00, 0x02}), (sim_bytes{16, 0x86, kExIllegalFunction}));
  EXPECT_EQ(modbus_ask({16, 5, 0x00, 0x01, 0xFF, 0x00}), (sim_bytes{16, 0x85, kExIllegalAddress}));
  EXPECT_TRUE(modbus_ask({17, 3, 0x00, 0x10, 0x00, 0x01}, 150).empty()) << "another unit";
  EXPECT_EQ(sim_->request_count(kCountModbusRead), 5);

  // The wake-up coil: acknowledged by echo, then RAVIK again.
  EXPECT_EQ(modbus_ask({16, 5, 0xF0, 0xF0, 0xFF, 0x00}), (sim_bytes{16, 5, 0xF0, 0xF0, 0xFF, 0x00}));
  EXPECT_EQ(sim_->state().protocol, Protocol::ravik);
  EXPECT_EQ(sim_->state().number(kParamProto), kProtoCodeRavik);
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request(kParamDev, true))))), "T4SK");
}

TEST_P(SimModbusTest, StartsInModbusAndIgnoresGarbledFrames) {
  Options o;
  o.protocol = GetParam();
  start(o);
  sim_bytes bad = frame({16, 3, 0x00, 0x00, 0x00, 0x01});
  bad[bad.size() - 3] ^= 0x01;
  EXPECT_TRUE(line_->write_bytes(bad));
  EXPECT_TRUE(line_->read_for(150).empty());
  EXPECT_EQ(sim_->state().garbled_frames, 1);
  EXPECT_EQ(modbus_ask({16, 3, 0x00, 0x00, 0x00, 0x01}), (sim_bytes{16, 3, 2, 0x4B, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(Framings, SimModbusTest, ::testing::Values(Protocol::modbus_rtu, Protocol::modbus_ascii),
                         [](const auto& info) { return std::string(info.param == Protocol::modbus_rtu ? "Rtu" : "Ascii"); });

TEST_F(SimTest, RtuFrameSplitAcrossWritesIsStillOneRequest) {
  Options o;
  o.protocol = Protocol::modbus_rtu;
  start(o);
  const sim_bytes req = rtu({16, 3, 0x00, 0x01, 0x00, 0x01});
  ASSERT_TRUE(line_->write_bytes(sim_bytes(req.begin(), req.begin() + 3)));
  usleep(5000);
  ASSERT_TRUE(line_->write_bytes(sim_bytes(req.begin() + 3, req.end())));
  EXPECT_EQ(line_->read_count(7), rtu({16, 3, 2, 0x4B, 0x01}));
}

}  // namespace
}  // namespace kv4t::sim
