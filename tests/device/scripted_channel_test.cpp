// The device operations over a scripted channel: the exact requests they hand to
// the channel, how often, with which codec, and what they make of answers no
// well-behaved converter sends.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "catalogue/catalogue.h"
#include "device/code_tables.h"
#include "device/converter_device.h"
#include "link/ravik.h"
#include "link/serio.h"
#include "sim/sim_constants.h"

namespace {

namespace sim = kv4t::sim;

uint16_t Hash(std::string_view name) { return ravik_hash(std::string(name).c_str(), nullptr); }

// A row's kind, code table and target cannot disagree: a text row is only ever
// made on a text and a number row on a number, and a coded row names one of the
// tables. A row built any other way does not compile.
template <typename T>
concept TextRowOn = requires(T* target) { ParamEntry::Text("x", target); };
template <typename T>
concept NumberRowOn = requires(T* target) { ParamEntry::Raw("x", target); };
template <typename Table>
concept CodedRowWith = requires(Table table, int32_t* target) {
  ParamEntry::Coded("x", table, target);
};
static_assert(TextRowOn<std::string> && !TextRowOn<int32_t> && !TextRowOn<void>);
static_assert(NumberRowOn<int32_t> && !NumberRowOn<std::string> && !NumberRowOn<void> &&
              !NumberRowOn<int64_t> && !NumberRowOn<int16_t>);
static_assert(CodedRowWith<CodeTable> && !CodedRowWith<int>);
static_assert(!std::is_aggregate_v<ParamEntry> &&
              !std::is_constructible_v<ParamEntry, const char*, int, int, void*>);

using bytes = std::vector<uint8_t>;

struct Sent {
  bytes request;
  bool expect_answer;
  std::string codec;
  int64_t answer_override;
};

// Hands out the scripted answers in turn; an empty script entry is a failed
// transaction, and so is every transaction once the script is used up.
class scripted_serio : public serio {
 public:
  bool transact(const bytes& request, bytes& answer, bool expect_answer) override {
    sent.push_back({request, expect_answer, codec ? codec->name() : "", answer_override});
    if (!expect_answer) return true;
    if (script.empty()) return false;
    const std::unique_ptr<bytes> next = std::move(script.front());
    script.pop_front();
    if (!next) return false;
    answer = *next;
    return true;
  }
  void answer(bytes payload) { script.push_back(std::make_unique<bytes>(std::move(payload))); }
  void fail() { script.push_back(nullptr); }

  std::deque<std::unique_ptr<bytes>> script;
  std::vector<Sent> sent;
};

class ScriptedDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    Catalogue().AddBuiltInWhenEmpty();
    auto owned = std::make_unique<scripted_serio>();
    line = owned.get();
    device.channel = std::move(owned);
  }
  // A RAVIK answer from address 16 with the given data field.
  static bytes Answer(std::string_view name, bytes data) {
    const uint16_t hash = Hash(name);
    bytes a = {16, static_cast<uint8_t>(data.size()), static_cast<uint8_t>(hash >> 8),
               static_cast<uint8_t>(hash & 0xFF)};
    a.insert(a.end(), data.begin(), data.end());
    return a;
  }

  ConverterDevice device;
  scripted_serio* line = nullptr;
};

TEST_F(ScriptedDevice, AttemptCounts) {
  int32_t number = 0;
  EXPECT_FALSE(device.ReadIntParam(sim::kParamBaud, number));
  EXPECT_EQ(line->sent.size(), 4u);
  line->sent.clear();

  EXPECT_FALSE(device.WriteIntParam(sim::kParamBaud, 2));
  EXPECT_EQ(line->sent.size(), 4u);
  line->sent.clear();

  EXPECT_TRUE(device.SendApply());
  ASSERT_EQ(line->sent.size(), 1u);
  EXPECT_FALSE(line->sent[0].expect_answer);
  EXPECT_EQ(line->sent[0].request, (bytes{16, 0x01, 0x84, 0x03, 0x01}));  // "APLY", data 1
  line->sent.clear();

  EXPECT_FALSE(device.ModbusWriteCoil(false, sim::kWakeCoil, 1));
  EXPECT_EQ(line->sent.size(), 4u);
  line->sent.clear();

  int value = 0;
  EXPECT_FALSE(device.ModbusReadRegister(true, 3, value, nullptr));
  EXPECT_EQ(line->sent.size(), 2u);
}

TEST_F(ScriptedDevice, RequestsCarryTheLinkAddressAndTheRightCodec) {
  device.LinkSet().alen = 11;
  device.LinkSet().address = 2047;
  line->answer({});
  EXPECT_TRUE(device.WriteIntParam(sim::kParamAddr, 300));
  ASSERT_EQ(line->sent.size(), 1u);
  const uint16_t hash = Hash(sim::kParamAddr);
  EXPECT_EQ(line->sent[0].request,
            (bytes{0xFF, 0xE2, static_cast<uint8_t>(hash >> 8), static_cast<uint8_t>(hash), 0x01,
                   0x2C}));
  EXPECT_EQ(line->sent[0].codec, "ravik_codec");
  EXPECT_EQ(line->sent[0].answer_override, 0);
  EXPECT_TRUE(line->sent[0].expect_answer);

  device.LinkSet().address = 7;
  line->answer({7, 5, 0xF0, 0xF0, 0xFF, 0x00});
  EXPECT_TRUE(device.ModbusWriteCoil(true, sim::kWakeCoil, 1));
  EXPECT_EQ(line->sent[1].request, (bytes{7, 5, 0xF0, 0xF0, 0xFF, 0x00}));
  EXPECT_EQ(line->sent[1].codec, "modbus_ascii_codec");

  line->answer({7, 3, 4, 0x12, 0x34, 0x56, 0x78});
  int value = 0;
  EXPECT_TRUE(device.ModbusReadRegister(false, 0x20, value, nullptr));
  EXPECT_EQ(line->sent[2].request, (bytes{7, 3, 0x00, 0x20, 0x00, 0x02}));
  EXPECT_EQ(line->sent[2].codec, "modbus_rtu_codec");
  EXPECT_EQ(value, 0x1234);
}

// Identify's way back from Modbus: the RTU wake-up first, the ASCII one only when
// RTU is not acknowledged, then "dev" again with its four attempts.
TEST_F(ScriptedDevice, IdentifyWakesTheConverterRtuFirst) {
  const uint16_t dev = Hash(sim::kParamDev);
  const bytes read_dev = {16, 0x10, static_cast<uint8_t>(dev >> 8), static_cast<uint8_t>(dev)};
  const bytes coil = {16, 5, 0xF0, 0xF0, 0xFF, 0x00};
  struct Step {
    const char* codec;
    bytes request;
    int times;
  };
  const auto expect_steps = [&](const std::vector<Step>& steps) {
    std::size_t i = 0;
    for (const Step& step : steps) {
      for (int n = 0; n < step.times; ++n, ++i) {
        ASSERT_LT(i, line->sent.size());
        EXPECT_EQ(line->sent[i].codec, step.codec) << i;
        if (!step.request.empty()) {
          EXPECT_EQ(line->sent[i].request, step.request) << i;
        }
      }
    }
    EXPECT_EQ(line->sent.size(), i);
  };

  // Nothing answers: both wake-ups, the pause, four more reads; "ver" is not asked.
  device.LinkSet().devtype = "before";
  EXPECT_FALSE(device.Identify());
  expect_steps({{"ravik_codec", read_dev, 4},
                {"modbus_rtu_codec", coil, 4},
                {"modbus_ascii_codec", coil, 4},
                {"ravik_codec", read_dev, 4}});
  EXPECT_EQ(device.LinkSet().devtype, "before");

  // The RTU wake-up is acknowledged: no ASCII one, "dev" and "ver" answered.
  line->sent.clear();
  for (int n = 0; n < 4; ++n) line->fail();
  line->answer(coil);
  line->answer(Answer(sim::kParamDev, {'T', '4', 'S', 'K'}));
  line->answer(Answer(sim::kParamVer, {'1'}));
  EXPECT_TRUE(device.Identify());
  expect_steps({{"ravik_codec", read_dev, 4}, {"modbus_rtu_codec", coil, 1}, {"ravik_codec", {}, 2}});
  EXPECT_EQ(device.LinkSet().devtype, "KS4T");
  EXPECT_EQ(device.LinkSet().fwver, "1");
}

// Answers that check as frames but are not what was asked for.
TEST_F(ScriptedDevice, OddAnswers) {
  struct Case {
    const char* what;
    bytes answer;
    bool ok;
    int32_t value;
  } const cases[] = {
      {"three bytes", Answer(sim::kParamLoopPoll, {1, 2, 3}), true, 66051},
      {"no data", Answer(sim::kParamLoopPoll, {}), true, 0},
      // Longer than an integer holds: the low 32 bits, without overflow.
      {"five bytes", Answer(sim::kParamLoopPoll, {1, 2, 3, 4, 5}), true, 0x02030405},
      {"all ones", Answer(sim::kParamLoopPoll, {0xFF, 0xFF, 0xFF, 0xFF}), true, -1},
      {"request flag", {16, 0x11, 0, 0, 9}, false, -7},
      {"header cut short", {16, 0x00, 0}, false, -7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    line->sent.clear();
    line->answer(c.answer);
    int32_t value = -7;
    EXPECT_EQ(device.ReadIntParam(sim::kParamLoopPoll, value), c.ok);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(line->sent.size(), 1u);  // a transaction that succeeded is not repeated
  }

  // Modbus: another unit's acknowledgement, an exception, a register answer too short.
  line->sent.clear();
  line->answer({17, 5, 0xF0, 0xF0, 0xFF, 0x00});
  EXPECT_FALSE(device.ModbusWriteCoil(false, sim::kWakeCoil, 1));
  EXPECT_EQ(line->sent.size(), 1u);

  int value = -1, exception = -1;
  line->answer({16, 0x83, 0x02});
  EXPECT_FALSE(device.ModbusReadRegister(false, 9, value, &exception));
  EXPECT_EQ(exception, 2);
  line->answer({16, 3, 1, 0xAB});
  EXPECT_FALSE(device.ModbusReadRegister(false, 9, value, &exception));
  EXPECT_EQ(exception, 0);
  EXPECT_EQ(value, -1);
}

TEST_F(ScriptedDevice, EveryRowIsTriedAndAMissingTargetFailsItsRow) {
  int32_t a = 5, b = 6;
  const ParamEntry rows[] = {
      ParamEntry::Raw(sim::kParamDelay, &a),
      ParamEntry::Raw(sim::kParamAddr, nullptr),
      ParamEntry::Text(sim::kParamLoopDev, nullptr),
      ParamEntry::Raw(sim::kParamLoopPoll, &b),
      ParamEntry::End(),
      ParamEntry::Raw(sim::kParamBaud, &a),  // after the end: never reached
  };
  line->fail();
  line->fail();
  line->fail();
  line->fail();
  line->answer({});
  EXPECT_FALSE(device.ExchangeParams(rows, true));
  ASSERT_EQ(line->sent.size(), 5u);  // four attempts for "rs.dl", one for "FrEq"
  EXPECT_EQ(line->sent[4].request.back(), 6);
  EXPECT_TRUE(device.ExchangeParams(nullptr, true));
}

}  // namespace
