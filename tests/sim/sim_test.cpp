// kv4t-sim's behaviour on the wire in RAVIK: requests written as raw bytes into a
// real pseudo-terminal, answers read back and checked byte by byte; the line
// settings it holds the computer to, and its state file.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/sim/sim_fixture.h"

namespace kv4t::sim {
namespace {

TEST(SimWire, IdentifiersAndChecksMatchTheWorkedExamples) {
  EXPECT_EQ(ravik_name_hash(kParamApply), kHashApply);
  EXPECT_EQ(ravik_name_hash(kParamProto), ravik_name_hash("PROT"));
  EXPECT_EQ(ravik_name_hash(kParamBits), ravik_name_hash("Len "));
  EXPECT_EQ(ravik_name_hash(""), ravik_name_hash("    "));
  bool ok = true;
  EXPECT_EQ(ravik_name_hash(".x", &ok), 0);
  EXPECT_FALSE(ok);
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(ravik_crc(abc, 3), 0x4F8D);
  const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(modbus_crc(digits, 9), 0x4B37);
  // Read "dev" at address 16, written out.
  EXPECT_EQ(as_text(ravik_request(kParamDev, true)), "#HGHGTMOHPGMO\r");
}

TEST_F(SimTest, AnswersDevAsWrittenOnTheWire) {
  start();
  EXPECT_EQ(as_text(ask(as_bytes("#HGHGTMOHPGMO\r"))), "#HGGKTMOHLKJKLJKRLPJK\r");
  const sim_bytes p = ravik_payload(as_bytes("#HGGKTMOHLKJKLJKRLPJK\r"));
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0], 16);
  EXPECT_EQ(p[1], 0x04);  // answer: request flag clear, 4 data bytes
  EXPECT_EQ(as_text(data_field(p)), "T4SK");  // text reversed
  EXPECT_EQ(sim_->request_count(kParamDev), 1);
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
  const sim_bytes p = ravik_payload(ask(ravik_request(kParamDev, true, {}, 2047, true)));
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0], 0xFF);
  EXPECT_EQ(p[1] & 0xE0, 0xE0);
  // The same address's low byte in 8-bit addressing is another device.
  EXPECT_TRUE(ask(ravik_request(kParamDev, true, {}, 255, false), 200).empty());
}

TEST_F(SimTest, StaysSilentForOtherAddressesUnknownNamesAndGarbage) {
  start();
  const sim_bytes quiet[] = {
      ravik_request(kParamDev, true, {}, 17),
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
  EXPECT_EQ(params[kParamBaud]["code"], 4);
  EXPECT_EQ(params[kParamBaud]["value"], 19200);
  EXPECT_EQ(params[kParamParity]["value"], 1);
  EXPECT_EQ(params[kParamLoopDev]["text"], "ABC");
  EXPECT_EQ(root["requests"][kParamBaud], 1);
  EXPECT_EQ(root["requests"][kParamLoopDev], 2);

  // A new converter started from that file carries on where this one stopped.
  sim_->stop();
  line_.reset();
  start(o);
  EXPECT_EQ(sim_->state().text(kParamLoopDev), "ABC");
  EXPECT_EQ(sim_->state().count(kParamBaud), 1);
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
  EXPECT_TRUE(ask(ravik_request(kParamDev, true, {}, 20), 200).empty());
  EXPECT_GT(sim_->state().ignored_bytes, 0);
  ASSERT_TRUE(line_->set(19200, 8, 'E', 2));
  EXPECT_TRUE(ask(ravik_request(kParamDev, true, {}, 16), 200).empty()) << "old address";
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request(kParamDev, true, {}, 20))))), "T4SK");
}

TEST_F(SimTest, ApplyKeepsSettingsWhoseCodeIsOutsideItsTable) {
  start();
  ASSERT_FALSE(ask(ravik_request(kParamBaud, false, {0xFF})).empty());
  ASSERT_FALSE(ask(ravik_request(kParamAddr, false, {0x01, 0x2C})).empty());  // 300 with 8-bit addressing
  EXPECT_TRUE(ask(ravik_request(kParamApply, false, {1}), 200).empty());
  EXPECT_EQ(sim_->state().line.baud, 9600);
  EXPECT_EQ(sim_->state().address, 16);
  EXPECT_FALSE(ask(ravik_request(kParamDev, true)).empty());
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
    EXPECT_TRUE(ask(ravik_request(kParamDev, true), 150).empty());
    const long now = sim_->state().ignored_bytes;
    EXPECT_GT(now, ignored);
    ignored = now;
  }
  ASSERT_TRUE(line_->set(9600));
  EXPECT_FALSE(ask(ravik_request(kParamDev, true)).empty());
}

TEST_F(SimTest, OddParityMustMatch) {
  Options o;
  o.line.parity = Parity::odd;
  start(o);
  EXPECT_TRUE(ask(ravik_request(kParamDev, true), 150).empty());
  ASSERT_TRUE(line_->set(9600, 8, 'O', 1));
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request(kParamDev, true))))), "T4SK");
}

TEST_F(SimTest, SevenBitLineAnswersRavik) {
  Options o;
  o.line.bits = 7;
  o.line.parity = Parity::even;
  start(o);
  ASSERT_TRUE(line_->set(9600, 7, 'E', 1));
  EXPECT_EQ(as_text(data_field(ravik_payload(ask(ravik_request(kParamDev, true))))), "T4SK");
}

TEST_F(SimTest, HonoursTheAnswerDelay) {
  Options o;
  o.delay_ms = 120;
  start(o);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(ask(ravik_request(kParamDev, true)).empty());
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(120));
}

TEST_F(SimTest, AnswersAgainAfterTheComputerClosesAndReopens) {
  start();
  EXPECT_FALSE(ask(ravik_request(kParamDev, true)).empty());
  std::string error;
  EXPECT_FALSE(sim_->start(&error));
  EXPECT_EQ(error, "already running");
  EXPECT_FALSE(ask(ravik_request(kParamDev, true)).empty()) << "a second start stops nothing";
  for (int i = 0; i < 3; ++i) {
    line_ = std::make_unique<SimLine>(sim_->slave_path());
    ASSERT_TRUE(line_->ok());
    ASSERT_TRUE(line_->set(9600));
    EXPECT_FALSE(ask(ravik_request(kParamVer, true)).empty()) << "open " << i;
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
  const long seen = sim_->closes_handled();
  {
    SimLine second(sim_->slave_path());  // root may open it all the same
    ASSERT_TRUE(second.ok());
  }
  ASSERT_TRUE(sim_->wait_for_closes_handled(seen, 10000));
  EXPECT_EQ(exclusive(*line_), 1) << "still held: the exclusive open stays";
  line_.reset();
  // Until the converter has handled the last holder's close.
  int flag = 1;
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       flag != 0 && std::chrono::steady_clock::now() < until;) {
    usleep(5000);
    SimLine probe(sim_->slave_path());
    flag = exclusive(probe);
  }
  EXPECT_EQ(flag, 0);
}

}  // namespace
}  // namespace kv4t::sim
