// kv4t-sim's behaviour on the wire: requests written as raw bytes into a real
// pseudo-terminal, answers read back and checked byte by byte.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "sim/engine.h"
#include "sim/options.h"
#include "sim/sim.h"
#include "sim/sim_constants.h"
#include "sim/wire.h"
#include "tests/sim/sim_line.h"

namespace kv4t::sim {

// Test names and failure messages show the protocol by name.
void PrintTo(Protocol p, std::ostream* os) { *os << protocol_name(p); }

namespace {

// A RAVIK request as the configurator builds it.
sim_bytes ravik_request(std::string_view name, bool is_read, const sim_bytes& data = {}, int address = kFactoryAddress,
                        bool addr11 = false) {
  const std::uint16_t h = ravik_name_hash(name);
  sim_bytes p = {static_cast<std::uint8_t>(addr11 ? (address >> 3) & 0xFF : address & 0xFF),
                 static_cast<std::uint8_t>((addr11 ? (address & 7) << 5 : 0) | (is_read ? 0x10 : 0) | data.size()),
                 static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h & 0xFF)};
  for (std::uint8_t b : data) p.push_back(b);
  return ravik_frame(p);
}

// The payload of a RAVIK answer, or empty when the bytes are no good frame.
sim_bytes ravik_payload(const sim_bytes& frame) {
  sim_bytes p;
  return ravik_unframe(frame.data(), frame.size(), p) ? p : sim_bytes{};
}

sim_bytes data_field(const sim_bytes& payload) {
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

TEST(SimWire, IdentifiersAndChecksMatchTheWorkedExamples) {
  EXPECT_EQ(ravik_name_hash("APLY"), kHashApply);
  EXPECT_EQ(ravik_name_hash("PrOt"), ravik_name_hash("PROT"));
  EXPECT_EQ(ravik_name_hash("Len"), ravik_name_hash("Len "));
  EXPECT_EQ(ravik_name_hash(""), ravik_name_hash("    "));
  bool ok = true;
  EXPECT_EQ(ravik_name_hash(".x", &ok), 0);
  EXPECT_FALSE(ok);
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(ravik_crc(abc, 3), 0x4F8D);
  const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(modbus_crc(digits, 9), 0x4B37);
  // Read "dev" at address 16, written out.
  EXPECT_EQ(as_text(ravik_request("dev", true)), "#HGHGTMOHPGMO\r");
}

TEST_F(SimTest, AnswersDevAsWrittenOnTheWire) {
  start();
  EXPECT_EQ(as_text(ask(as_bytes("#HGHGTMOHPGMO\r"))), "#HGGKTMOHLKJKLJKRLPJK\r");
  const sim_bytes p = ravik_payload(as_bytes("#HGGKTMOHLKJKLJKRLPJK\r"));
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0], 16);
  EXPECT_EQ(p[1], 0x04);  // answer: request flag clear, 4 data bytes
  EXPECT_EQ(as_text(data_field(p)), "T4SK");  // text reversed
  EXPECT_EQ(sim_->request_count("dev"), 1);
}

TEST_F(SimTest, ReadsEveryParameterInTheDataFieldConventions) {
  start();
  struct Case {
    std::string_view name;
    sim_bytes field;
  };
  const Case cases[] = {
      {kParamDev, as_bytes("T4SK")},
      {kParamVer, as_bytes("3.1-T4VK")},
      {kParamBaud, {2}},      // 9600 is code 2
      {kParamBits, {1}},      // 8 bits
      {kParamParity, {0}},
      {kParamStop, {0}},
      {kParamDelay, {2}},
      {kParamAlen, {0}},
      {kParamAddr, {16}},
      {kParamProto, {0}},
      {kParamLoopDev, as_bytes("04-RZ")},
      {kParamLoopVer, as_bytes("21A04RZ")},
      {kParamLoopBaud, {6}},  // 9600 in the loop table
      {kParamLoopBits, {1}},
      {kParamLoopParity, {0}},
      {kParamLoopStop, {1}},  // two stop bits
      {kParamLoopPoll, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    const sim_bytes p = ravik_payload(ask(ravik_request(c.name, true)));
    ASSERT_GE(p.size(), 4u);
    EXPECT_EQ(p[1] & 0x10, 0);
    EXPECT_EQ(p[1] & 0x0F, static_cast<int>(c.field.size()));
    EXPECT_EQ(p[2] << 8 | p[3], ravik_name_hash(c.name));
    EXPECT_EQ(data_field(p), c.field);
  }
  // Large values go big-endian in as many bytes as they need.
  sim_->stop();
  Options o;
  o.loop_poll = 0x1234;
  start(o);
  EXPECT_EQ(data_field(ravik_payload(ask(ravik_request(kParamLoopPoll, true)))), (sim_bytes{0x12, 0x34}));
}

TEST_F(SimTest, ElevenBitAddressing) {
  Options o;
  o.alen = 11;
  o.address = 2047;
  start(o);
  const sim_bytes p = ravik_payload(ask(ravik_request("dev", true, {}, 2047, true)));
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0], 0xFF);
  EXPECT_EQ(p[1] & 0xE0, 0xE0);
  // The same address's low byte in 8-bit addressing is another device.
  EXPECT_TRUE(ask(ravik_request("dev", true, {}, 255, false), 200).empty());
}

TEST_F(SimTest, StaysSilentForOtherAddressesUnknownNamesAndGarbage) {
  start();
  const sim_bytes quiet[] = {
      ravik_request("dev", true, {}, 17),
      ravik_request("XYZW", true),
      as_bytes("#HGHGTMOHPGMP\r"),  // check spoilt
      as_bytes("#HGHGTM\r"),        // too short
      as_bytes("#HGHGTMOHPGWO\r"),  // 'W' is no frame character
      as_bytes("\x00\xFF garbage \r\r##"),
  };
  for (const auto& q : quiet) EXPECT_TRUE(ask(q, 150).empty()) << as_text(q);
  const State s = sim_->state();
  EXPECT_EQ(s.answers, 0);
  EXPECT_GE(s.ignored_frames, 2);
  EXPECT_GE(s.garbled_frames, 3);
  EXPECT_EQ(s.count("#" + [] {
    char b[8];
    std::snprintf(b, sizeof b, "%04X", ravik_name_hash("XYZW"));
    return std::string(b);
  }()), 1);
  // Noise before a frame is skipped; the frame after it is answered.
  EXPECT_FALSE(ask(as_bytes("zz\x01#HG#HGHGTMOHPGMO\r")).empty());
}

TEST_F(SimTest, StoresWritesAcknowledgesThemAndKeepsTheStateFile) {
  char tmpl[] = "/tmp/kv4t-sim-test.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string state_file = std::string(tmpl) + "/state.json";
  Options o;
  o.state_file = state_file;
  start(o);
  struct Case {
    std::string_view name;
    sim_bytes data;
  };
  const Case writes[] = {
      {kParamBaud, {4}},           // 19200
      {kParamParity, {2}},         // odd, in the converter's codes
      {kParamAddr, {0x01, 0x2C}},  // 300, two bytes
      {kParamLoopDev, as_bytes("CBA")},
      {kParamLoopVer, {}},         // an instrument without a version: the empty text
      {kParamLoopPoll, {0xFF}},    // a value the configurator sends for an unknown code
  };
  for (const Case& w : writes) {
    SCOPED_TRACE(std::string(w.name));
    const sim_bytes p = ravik_payload(ask(ravik_request(w.name, false, w.data)));
    ASSERT_GE(p.size(), 4u) << "no acknowledgement";
    EXPECT_EQ(p[1] & 0x10, 0);
    EXPECT_EQ(data_field(p), w.data);
  }
  const State s = sim_->state();
  EXPECT_EQ(s.number(kParamBaud), 4);
  EXPECT_EQ(s.setting(kParamBaud), 19200);
  EXPECT_EQ(s.setting(kParamParity), 1);  // odd as the configurator counts it
  EXPECT_EQ(s.number(kParamAddr), 300);
  EXPECT_EQ(s.text(kParamLoopDev), "ABC");
  EXPECT_EQ(s.params.at(std::string(kParamLoopVer)), (ParamValue{true, 0, ""}));
  EXPECT_EQ(s.line.baud, 9600) << "writes take effect only with APLY";
  // Read back what was written.
  EXPECT_EQ(data_field(ravik_payload(ask(ravik_request(kParamLoopDev, true)))), as_bytes("CBA"));

  // The state file says the same.
  std::ifstream f(state_file);
  std::stringstream text;
  text << f.rdbuf();
  // Not const: a missing member then reads as null instead of failing an assertion.
  nlohmann::json root = nlohmann::json::parse(text.str(), nullptr, false);
  ASSERT_TRUE(root.is_object()) << text.str();
  nlohmann::json& params = root["params"];
  EXPECT_EQ(params["BPS"]["code"], 4);
  EXPECT_EQ(params["BPS"]["value"], 19200);
  EXPECT_EQ(params["PrtY"]["value"], 1);
  EXPECT_EQ(params["dEv.L"]["text"], "ABC");
  EXPECT_EQ(root["requests"]["BPS"], 1);
  EXPECT_EQ(root["requests"]["dEv.L"], 2);

  // A new converter started from that file carries on where this one stopped.
  sim_->stop();
  line_.reset();
  start(o);
  EXPECT_EQ(sim_->state().text(kParamLoopDev), "ABC");
  EXPECT_EQ(sim_->state().count("BPS"), 1);
  std::remove(state_file.c_str());
  rmdir(tmpl);
}

TEST_F(SimTest, ApplyMakesTheWrittenSettingsTakeEffect) {
  start();
  const std::pair<std::string_view, sim_bytes> writes[] = {
      {kParamBaud, {4}}, {kParamBits, {1}}, {kParamParity, {1}}, {kParamStop, {1}},
      {kParamDelay, {5}}, {kParamAlen, {0}}, {kParamAddr, {20}}, {kParamProto, {0}},
  };
  for (const auto& [name, data] : writes) ASSERT_FALSE(ask(ravik_request(name, false, data)).empty()) << name;
  EXPECT_TRUE(ask(ravik_request(kParamApply, false, {1}), 200).empty()) << "APLY is not answered";
  const State s = sim_->state();
  EXPECT_EQ(s.line, (LineSettings{19200, 8, Parity::even, 2}));
  EXPECT_EQ(s.address, 20);
  EXPECT_EQ(s.delay_ms, 5);
  // The old line settings now meet silence.
  EXPECT_TRUE(ask(ravik_request("dev", true, {}, 20), 200).empty());
  EXPECT_GT(sim_->state().ignored_bytes, 0);
  ASSERT_TRUE(line_->set(19200, 8, 'E', 2));
  EXPECT_TRUE(ask(ravik_request("dev", true, {}, 16), 200).empty()) << "old address";
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request("dev", true, {}, 20))))), "T4SK");
}

TEST_F(SimTest, ApplyKeepsSettingsWhoseCodeIsOutsideItsTable) {
  start();
  ASSERT_FALSE(ask(ravik_request(kParamBaud, false, {0xFF})).empty());
  ASSERT_FALSE(ask(ravik_request(kParamAddr, false, {0x01, 0x2C})).empty());  // 300 with 8-bit addressing
  EXPECT_TRUE(ask(ravik_request(kParamApply, false, {1}), 200).empty());
  EXPECT_EQ(sim_->state().line.baud, 9600);
  EXPECT_EQ(sim_->state().address, 16);
  EXPECT_FALSE(ask(ravik_request("dev", true)).empty());
}

TEST_F(SimTest, SilentWhileTheComputerUsesOtherLineSettings) {
  start();
  struct Case {
    int baud, bits;
    char parity;
    int stop;
  };
  // What a pseudo-terminal keeps of the computer's settings: the baud rate, the stop
  // bits and odd parity (its driver forces 8 data bits and drops parity enable).
  const Case wrong[] = {{19200, 8, 'N', 1}, {2400, 8, 'N', 1}, {9600, 8, 'O', 1}, {9600, 8, 'N', 2}};
  long ignored = 0;
  for (const Case& c : wrong) {
    SCOPED_TRACE(testing::Message() << c.baud << " " << c.bits << c.parity << c.stop);
    ASSERT_TRUE(line_->set(c.baud, c.bits, c.parity, c.stop));
    EXPECT_TRUE(ask(ravik_request("dev", true), 150).empty());
    const long now = sim_->state().ignored_bytes;
    EXPECT_GT(now, ignored);
    ignored = now;
  }
  ASSERT_TRUE(line_->set(9600));
  EXPECT_FALSE(ask(ravik_request("dev", true)).empty());
}

TEST_F(SimTest, OddParityMustMatch) {
  Options o;
  o.line.parity = Parity::odd;
  start(o);
  EXPECT_TRUE(ask(ravik_request("dev", true), 150).empty());
  ASSERT_TRUE(line_->set(9600, 8, 'O', 1));
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request("dev", true))))), "T4SK");
}

TEST_F(SimTest, SevenBitLineAnswersRavik) {
  Options o;
  o.line.bits = 7;
  o.line.parity = Parity::even;
  start(o);
  ASSERT_TRUE(line_->set(9600, 7, 'E', 1));
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request("dev", true))))), "T4SK");
}

TEST_F(SimTest, HonoursTheAnswerDelay) {
  Options o;
  o.delay_ms = 120;
  start(o);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(ask(ravik_request("dev", true)).empty());
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(120));
}

TEST_F(SimTest, AnswersAgainAfterTheComputerClosesAndReopens) {
  start();
  EXPECT_FALSE(ask(ravik_request("dev", true)).empty());
  std::string error;
  EXPECT_FALSE(sim_->start(&error));
  EXPECT_EQ(error, "already running");
  EXPECT_FALSE(ask(ravik_request("dev", true)).empty()) << "a second start stops nothing";
  for (int i = 0; i < 3; ++i) {
    line_ = std::make_unique<SimLine>(sim_->slave_path());
    ASSERT_TRUE(line_->ok());
    ASSERT_TRUE(line_->set(9600));
    EXPECT_FALSE(ask(ravik_request("ver", true)).empty()) << "open " << i;
  }
}

// A pseudo-terminal keeps an exclusive open after its holder closes it, which would
// lock every later open by an ordinary user out; the converter ends it at the close.
TEST_F(SimTest, ExclusiveOpenEndsWhenTheComputerClosesThePort) {
  start();
  auto exclusive = [](const SimLine& l) {
    int flag = -1;
    return ioctl(l.fd(), TIOCGEXCL, &flag) == 0 ? flag : -1;
  };
  ASSERT_EQ(ioctl(line_->fd(), TIOCEXCL), 0);
  {
    SimLine second(sim_->slave_path());  // root may open it all the same
    ASSERT_TRUE(second.ok());
  }
  usleep(50000);
  EXPECT_EQ(exclusive(*line_), 1) << "still held: the exclusive open stays";
  line_.reset();
  int flag = 1;
  for (int i = 0; i < 100 && flag != 0; ++i) {
    usleep(5000);
    SimLine probe(sim_->slave_path());
    flag = exclusive(probe);
  }
  EXPECT_EQ(flag, 0);
}

// ---- Modbus ----

sim_bytes rtu(const sim_bytes& pdu) { return modbus_rtu_frame(pdu); }

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
  EXPECT_TRUE(ask(ravik_request("dev", true), 150).empty()) << "speaks only Modbus now";
  EXPECT_EQ(sim_->request_count("dev"), 1) << "the unanswered RAVIK request is still counted";

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
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request("dev", true))))), "T4SK");
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

// ---- Faults ----

struct FaultCase {
  const char* what;
  std::function<void(Options&)> set;
  std::function<void(SimTest&, SimLine&, Simulator&)> check;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class SimFaultTest : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFaultTest, ShowsTheFault) {
  Options o;
  GetParam().set(o);
  start(o);
  GetParam().check(*this, *line_, *sim_);
}

const sim_bytes kDevRead = as_bytes("#HGHGTMOHPGMO\r");
const std::string kDevAnswer = "#HGGKTMOHLKJKLJKRLPJK\r";

const FaultCase kFaultCases[] = {
    {"Silent", [](Options& o) { o.faults.silent = true; },
     [](SimTest&, SimLine& l, Simulator& s) {
       l.write_bytes(kDevRead);
       EXPECT_TRUE(l.read_for(200).empty());
       EXPECT_EQ(s.request_count("dev"), 1);
     }},
    {"NoAnswerToNamedParameters", [](Options& o) { o.faults.no_answer = {"dev"}; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_TRUE(l.read_for(200).empty());
       l.write_bytes(ravik_request("ver", true));
       EXPECT_FALSE(l.read_ravik().empty());
     }},
    {"NoiseBeforeFrames", [](Options& o) { o.faults.noise_bytes = 3; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), std::string("\x00\xFF\x7E", 3) + kDevAnswer);
     }},
    {"TruncatedAnswers", [](Options& o) { o.faults.truncate_bytes = 5; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_for(200)), kDevAnswer.substr(0, kDevAnswer.size() - 5));
     }},
    {"WrongCheck", [](Options& o) { o.faults.bad_check = true; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       const sim_bytes a = l.read_ravik();
       ASSERT_EQ(a.size(), kDevAnswer.size());
       EXPECT_NE(as_text(a), kDevAnswer);
       EXPECT_TRUE(ravik_payload(a).empty());
     }},
    {"RequestFlagInAnswers", [](Options& o) { o.faults.request_flag = true; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       const sim_bytes p = ravik_payload(l.read_ravik());
       ASSERT_EQ(p.size(), 8u);
       EXPECT_EQ(p[1], 0x14);
     }},
    {"AnotherDeviceName", [](Options& o) { o.device = "KS4"; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(data_field(ravik_payload(l.read_ravik()))), "4SK");
     }},
    {"UnansweredRequestsBeforeAnswering", [](Options& o) { o.faults.skip_requests = 3; },
     [](SimTest&, SimLine& l, Simulator&) {
       for (int i = 0; i < 3; ++i) {
         l.write_bytes(kDevRead);
         EXPECT_TRUE(l.read_for(120).empty()) << i;
       }
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), kDevAnswer);
     }},
    {"ExtraDelay", [](Options& o) { o.faults.extra_delay_ms = 250; },
     [](SimTest&, SimLine& l, Simulator&) {
       const auto t0 = std::chrono::steady_clock::now();
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), kDevAnswer);
       EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(250));
     }},
    {"FaultsOnlyOnNamedRequests",
     [](Options& o) {
       o.faults.bad_check = true;
       o.faults.only = {"ver"};
     },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), kDevAnswer);
       l.write_bytes(ravik_request("ver", true));
       EXPECT_TRUE(ravik_payload(l.read_ravik()).empty());
     }},
    {"WrongCheckInModbusRtu",
     [](Options& o) {
       o.protocol = Protocol::modbus_rtu;
       o.faults.bad_check = true;
     },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(rtu({16, 5, 0xF0, 0xF0, 0xFF, 0x00}));
       const sim_bytes a = l.read_count(8);
       ASSERT_EQ(a.size(), 8u);
       EXPECT_NE(a, rtu({16, 5, 0xF0, 0xF0, 0xFF, 0x00}));
     }},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(SimTest, FaultsCanChangeWhileRunning) {
  start();
  EXPECT_FALSE(ask(kDevRead).empty());
  Faults f;
  f.silent = true;
  sim_->set_faults(f);
  EXPECT_TRUE(ask(kDevRead, 150).empty());
  sim_->set_faults({});
  EXPECT_FALSE(ask(kDevRead).empty());
}

// ---- Robustness ----

TEST(SimEngine, RandomBytesNeverCrashAndLeaveItAnswering) {
  std::mt19937 rng(20261209);
  for (Protocol p : {Protocol::ravik, Protocol::modbus_rtu, Protocol::modbus_ascii}) {
    Options o;
    o.protocol = p;
    Engine e(o);
    std::vector<Reply> out;
    std::int64_t t = 0;
    const std::string alphabet = "#:GHIJKLMNOPQRSTUV0123456789ABCDEF\r\n";
    for (int round = 0; round < 2000; ++round) {
      sim_bytes junk(rng() % 64);
      for (auto& b : junk) b = rng() % 2 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>(alphabet[rng() % alphabet.size()]);
      e.receive(junk.data(), junk.size(), t, out);
      t += static_cast<std::int64_t>(rng() % 50000);
      e.idle(t, out);
      out.clear();
    }
    // After the junk (and a quiet moment for RTU), a good request is answered in
    // whatever protocol the junk has left it speaking.
    t += 1000000;
    e.idle(t, out);
    out.clear();
    const Protocol now = e.state().protocol;
    const sim_bytes req = now == Protocol::ravik        ? ravik_request("dev", true, {}, e.state().address,
                                                                    e.state().alen == 11)
                          : now == Protocol::modbus_rtu ? rtu({static_cast<std::uint8_t>(e.state().address), 5, 0xF0, 0xF0, 0xFF, 0})
                                                        : modbus_ascii_frame({static_cast<std::uint8_t>(e.state().address), 5, 0xF0, 0xF0, 0xFF, 0});
    e.receive(req.data(), req.size(), t, out);
    EXPECT_EQ(out.size(), 1u) << protocol_name(p) << " -> " << protocol_name(now);
  }
}

ParseOutcome parse(std::vector<std::string> args, Options& o) {
  args.insert(args.begin(), "kv4t-sim");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  std::string error;
  return parse_options(static_cast<int>(argv.size()), argv.data(), o, &error);
}

TEST(SimOptions, FillTheOptionsAndRejectWhatTheConverterCannotBe) {
  Options o;
  ASSERT_EQ(parse({"--baud", "19200", "--parity", "even", "--stop-bits", "2", "--alen", "11", "--address", "2047",
                   "--protocol", "modbus-ascii", "--delay", "0", "--registers", "00-1F,40", "--register", "1f=0x1234",
                   "--no-answer", "dev,ver", "--fault-only", "modbus:3", "--skip", "2", "--quiet"},
                  o),
            ParseOutcome::run);
  EXPECT_EQ(o.line, (LineSettings{19200, 8, Parity::even, 2}));
  EXPECT_EQ(o.address, 2047);
  EXPECT_EQ(o.protocol, Protocol::modbus_ascii);
  EXPECT_EQ(o.registers[0x1F], 0x1234);
  EXPECT_EQ(o.registers[0x00], factory_register(0));
  EXPECT_EQ(o.registers[0x20], -1);
  EXPECT_EQ(o.registers[0x40], factory_register(0x40));
  EXPECT_EQ(o.faults.no_answer, (std::vector<std::string>{"dev", "ver"}));
  EXPECT_EQ(o.faults.skip_requests, 2);
  EXPECT_EQ(o.log, nullptr);

  const std::vector<std::vector<std::string>> bad = {
      {"--baud", "1200"},   {"--baud", "9600x"},       {"--bits", "6"},          {"--parity", "mark"},
      {"--stop-bits", "3"}, {"--alen", "9"},           {"--address", "300"},     {"--protocol", "tcp"},
      {"--delay", "-1"},    {"--registers", "20-10"},  {"--registers", "100"},   {"--register", "10"},
      {"--register", "10=70000"}, {"--dev", "0123456789abcdef"}, {"--whatever"}, {"--baud"},
  };
  for (const auto& args : bad) {
    Options b;
    EXPECT_EQ(parse(args, b), ParseOutcome::error) << args[0] << " " << (args.size() > 1 ? args[1] : "");
  }
  Options h;
  EXPECT_EQ(parse({"--help"}, h), ParseOutcome::help);
}

TEST(SimState, RejectsStateFilesThatAreNotStatesAndKeepsTheOldState) {
  Engine e(Options{});
  const char* bad[] = {"", "[]", "{", "{\"address\": 300}", "{\"alen\": 9}", "{\"line\": {\"bits\": 5}}",
                       "{\"params\": {\"nope\": {\"value\": 1}}}", "{\"registers\": [1, 2]}",
                       "{\"protocol\": \"x\"}", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]"};
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(e.load_state(text, &error)) << text;
    EXPECT_EQ(e.state().address, kFactoryAddress);
  }
  // Its own output reads back to the same state, texts with any bytes included.
  Options o;
  o.device = "\xCA\xD1\"\\\x01";
  o.address = 33;
  o.protocol = Protocol::modbus_ascii;
  o.registers[7] = -1;
  Engine a(o);
  Engine b(Options{});
  std::string error;
  ASSERT_TRUE(b.load_state(a.state_json(), &error)) << error;
  EXPECT_EQ(b.state().text(kParamDev), o.device);
  EXPECT_EQ(b.state().address, 33);
  EXPECT_EQ(b.state().protocol, Protocol::modbus_ascii);
  EXPECT_EQ(b.state().registers, a.state().registers);
  EXPECT_EQ(b.state_json(), a.state_json());
}

}  // namespace
}  // namespace kv4t::sim
