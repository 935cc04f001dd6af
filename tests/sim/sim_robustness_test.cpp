// What kv4t-sim makes of bad input: random bytes on the line, command lines and
// state files it must refuse.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sim/engine.h"
#include "sim/options.h"
#include "tests/sim/sim_fixture.h"

namespace kv4t::sim {
namespace {

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
    const sim_bytes req = now == Protocol::ravik        ? ravik_request(kParamDev, true, {}, e.state().address,
                                                                    e.state().alen == 11)
                          : now == Protocol::modbus_rtu ? rtu({static_cast<std::uint8_t>(e.state().address), 5, 0xF0, 0xF0, 0xFF, 0})
                                                        : modbus_ascii_frame({static_cast<std::uint8_t>(e.state().address), 5, 0xF0, 0xF0, 0xFF, 0});
    e.receive(req.data(), req.size(), t, out);
    EXPECT_EQ(out.size(), 1u) << protocol_name(p) << " -> " << protocol_name(now);
  }
}

ParseOutcome parse(std::vector<std::string> args, Options& o, std::string* message = nullptr) {
  args.insert(args.begin(), "kv4t-sim");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  std::string ignored;
  return parse_options(static_cast<int>(argv.size()), argv.data(), o, message ? message : &ignored);
}

TEST(SimOptions, FillTheOptionsAndRejectWhatTheConverterCannotBe) {
  Options o;
  ASSERT_EQ(parse({"--baud", "19200", "--parity", "even", "--stop-bits", "2", "--alen", "11", "--address", "2047",
                   "--protocol", "modbus-ascii", "--delay", "0", "--registers", "00-1F,40", "--register", "1f=0x1234",
                   "--no-answer", std::string(kParamDev) + "," + std::string(kParamVer), "--fault-only",
                   std::string(kCountModbusRead), "--skip", "2", "--quiet"},
                  o),
            ParseOutcome::run);
  EXPECT_EQ(o.line, (LineSettings{19200, 8, Parity::even, 2}));
  EXPECT_EQ(o.address, 2047);
  EXPECT_EQ(o.protocol, Protocol::modbus_ascii);
  EXPECT_EQ(o.registers[0x1F], 0x1234);
  EXPECT_EQ(o.registers[0x00], factory_register(0));
  EXPECT_EQ(o.registers[0x20], -1);
  EXPECT_EQ(o.registers[0x40], factory_register(0x40));
  EXPECT_EQ(o.faults.no_answer, (std::vector<std::string>{std::string(kParamDev), std::string(kParamVer)}));
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
  // An option given again takes its last value; lists and registers gather.
  Options again;
  ASSERT_EQ(parse({"--baud", "2400", "--baud", "0x4B00", "--no-answer", std::string(kParamDev), "--no-answer",
                   std::string(kParamVer) + ",", "--register", "1=1", "--register", "2=2"},
                  again),
            ParseOutcome::run);
  EXPECT_EQ(again.line.baud, 19200);
  EXPECT_EQ(again.faults.no_answer, (std::vector<std::string>{std::string(kParamDev), std::string(kParamVer)}));
  EXPECT_EQ(again.registers[1], 1);
  EXPECT_EQ(again.registers[2], 2);
  Options none;
  ASSERT_EQ(parse({"--registers", ""}, none), ParseOutcome::run);
  EXPECT_EQ(none.registers[0], -1) << "an empty list leaves no register readable";

  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}, {"--baud", "1", "--help"}}) {
    Options h;
    std::string help;
    EXPECT_EQ(parse(args, h, &help), ParseOutcome::help) << args[0];
    EXPECT_NE(help.find("--loop-stop-bits"), std::string::npos);
  }
}

// The line's options: echo, latency and the converters of a bus, whose keys are the
// converter options' names and whose defaults are the options given beside them.
TEST(SimOptions, EchoLatencyAndTheConvertersOfABus) {
  Options o;
  ASSERT_EQ(parse({"--baud", "19200", "--delay", "7", "--echo", "--latency", "16", "--converter", "address=5,dev=A5,",
                   "--converter", "address=616,alen=11,parity=odd", "--converter", "protocol=modbus-rtu,address=9,delay=0"},
                  o),
            ParseOutcome::run);
  EXPECT_TRUE(o.echo);
  EXPECT_EQ(o.latency_ms, 16);
  ASSERT_EQ(o.bus.size(), 3u);
  EXPECT_EQ(o.bus[0].address, 5);
  EXPECT_EQ(o.bus[0].device, "A5");
  EXPECT_EQ(o.bus[1].address, 616);
  EXPECT_EQ(o.bus[1].alen, 11);
  EXPECT_EQ(o.bus[1].line, (LineSettings{19200, 8, Parity::odd, 1}));
  EXPECT_EQ(o.bus[1].device, kFactoryDevice) << "one converter's key is not the next one's";
  EXPECT_EQ(o.bus[2].protocol, Protocol::modbus_rtu);
  EXPECT_EQ(o.bus[2].delay_ms, 0);
  for (const ConverterOptions& c : o.bus) EXPECT_EQ(c.line.baud, 19200);
  EXPECT_EQ(o.bus[0].delay_ms, 7);

  Options plain;
  ASSERT_EQ(parse({}, plain), ParseOutcome::run);
  EXPECT_FALSE(plain.echo);
  EXPECT_EQ(plain.latency_ms, 0);
  EXPECT_TRUE(plain.bus.empty());

  const std::vector<std::vector<std::string>> bad = {
      {"--converter", "address=300"},     {"--converter", "address=2047,alen=8"}, {"--converter", "foo=1"},
      {"--converter", "address"},         {"--converter", "=5"},                 {"--converter", "--address=5"},
      {"--converter", "baud=1234"},       {"--converter", "protocol=tcp"},       {"--converter", "state=x.json"},
      {"--latency", "-1"},                {"--latency", "x"},                    {"--converter"},
  };
  for (const auto& args : bad) {
    Options b;
    std::string message;
    EXPECT_EQ(parse(args, b, &message), ParseOutcome::error) << args[0] << " " << (args.size() > 1 ? args[1] : "");
  }
  Options h;
  std::string help;
  ASSERT_EQ(parse({"--help"}, h, &help), ParseOutcome::help);
  for (const char* option : {"--echo", "--latency", "--converter"}) EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(SimState, RejectsStateFilesThatAreNotStatesAndKeepsTheOldState) {
  Engine e(Options{});
  const char* bad[] = {"", "[]", "{", "{\"address\": 300}", "{\"alen\": 9}", "{\"line\": {\"bits\": 5}}",
                       "{\"params\": {\"nope\": {\"value\": 1}}}", "{\"registers\": [1, 2]}",
                       "{\"protocol\": \"x\"}", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]",
                       // Deep inside an object, texts beyond one byte a character, and
                       // bytes that are no UTF-8.
                       "{\"address\": 20, \"x\": [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]}",
                       "{\"address\": 20, \"params\": {\"dev\": {\"text\": \"\\u0100\"}}}",
                       "{\"address\": 20, \"params\": {\"dev\": {\"text\": \"\xCA\"}}}"};
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
