// The simulator frames by its own reading of the protocol; the configurator's codecs
// must agree with it on every name and frame.
#include <gtest/gtest.h>

#include <string>

#include "link/ravik.h"
#include "link/modbus.h"
#include "sim/engine.h"
#include "sim/sim_constants.h"
#include "sim/wire.h"

namespace kv4t::sim {
namespace {

TEST(SimCodecs, AgreeWithTheConfiguratorsCodecs) {
  const std::string_view names[] = {kParamDev,     kParamVer,       kParamBaud,     kParamBits,     kParamParity,
                                    kParamStop,    kParamDelay,     kParamAlen,     kParamAddr,     kParamProto,
                                    kParamLoopDev, kParamLoopVer,   kParamLoopBaud, kParamLoopBits, kParamLoopParity,
                                    kParamLoopStop, kParamLoopPoll, kParamApply};
  for (std::string_view name : names) {
    SCOPED_TRACE(std::string(name));
    bool ok = false;
    EXPECT_EQ(ravik_hash(std::string(name).c_str(), &ok), ravik_name_hash(name));
    // A request the configurator builds is answered, and the answer decodes.
    std::vector<uint8_t> data;
    ASSERT_TRUE(ravik_make_request(data, true, false, kFactoryAddress, ravik_hash(std::string(name).c_str(), &ok)));
    ravik_codec codec;
    std::vector<uint8_t> frame;
    ASSERT_GT(codec.encode(data, frame), 0);
    Engine engine(Options{});
    std::vector<Reply> out;
    engine.receive(frame.data(), frame.size(), 0, out);
    if (name == kParamApply) {
      EXPECT_TRUE(out.empty());
      continue;
    }
    ASSERT_EQ(out.size(), 1u);
    codec.reset();
    int consumed = 0;
    EXPECT_EQ(codec.feed(0, out[0].data, consumed), feed_result::frame_ok);
    std::vector<uint8_t> payload;
    codec.take_payload(payload);
    ASSERT_GE(payload.size(), 4u);
    EXPECT_EQ(payload[1] & 0x10, 0);
  }
}

TEST(SimCodecs, ModbusAnswersCheckWithTheConfiguratorsRequestObject) {
  for (Protocol p : {Protocol::modbus_rtu, Protocol::modbus_ascii}) {
    Options o;
    o.protocol = p;
    Engine engine(o);
    modbus_rtu_codec rtu;
    modbus_ascii_codec ascii;
    frame_codec& codec = p == Protocol::modbus_rtu ? static_cast<frame_codec&>(rtu) : ascii;
    modbus_request req;
    ASSERT_EQ(req.set_function(3), 0);
    ASSERT_EQ(req.set_range(0x42, 2), 0);
    req.set_unit(kFactoryAddress);
    std::vector<uint8_t> pdu, frame;
    ASSERT_EQ(req.build(pdu, -1), 0);
    ASSERT_GT(codec.encode(pdu, frame), 0);
    std::vector<Reply> out;
    engine.receive(frame.data(), frame.size(), 0, out);
    ASSERT_EQ(out.size(), 1u) << protocol_name(p);
    codec.reset();
    int consumed = 0;
    EXPECT_EQ(codec.feed(0, out[0].data, consumed), feed_result::frame_ok);
    std::vector<uint8_t> answer;
    codec.take_payload(answer);
    EXPECT_EQ(req.check_answer(answer, -1), 0);
    ASSERT_GE(answer.size(), 5u);
    EXPECT_EQ(answer[3] << 8 | answer[4], factory_register(0x42));
  }
}

}  // namespace
}  // namespace kv4t::sim
