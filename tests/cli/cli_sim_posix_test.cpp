// kv4t against the simulated converter: every subcommand's main path and its
// failures with their exit codes, the JSON output taken apart, the converter's
// state checked on its own side, Ctrl-C during a scan and during a test.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <set>
#include <tuple>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/scan.h"
#include "common/code_pages.h"
#include "device/converter_device.h"
#include "sim/sim.h"
#include "tests/cli/fake_system.h"
#include "tests/cli/kv4t_runner.h"
#include "tests/support/ports_folder.h"
#include "tests/support/sim_lines.h"

namespace {

namespace sim = kv4t::sim;
using nlohmann::json;

constexpr int kDone = 0, kNoAnswer = 1, kUsage = 2, kPort = 3, kInterrupted = 130;

class Kv4tSim : public ::testing::Test {
 protected:
  void SetUp() override { Catalogue().AddBuiltInWhenEmpty(); }
  void TearDown() override {
    if (simulator) simulator->stop();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }

  // The converter given the faults while it runs.
  void SetFaults(bool silent, std::vector<std::string> no_answer = {}) {
    sim::Faults faults;
    faults.silent = silent;
    faults.no_answer = std::move(no_answer);
    simulator->set_faults(faults);
  }

  void Start(sim::Options options = {}) {
    simulator = std::make_unique<sim::Simulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(simulator->start(&error)) << error;
    std::filesystem::create_directories(folder);
  }

  // kv4t with --port at the converter and the given arguments.
  Kv4tRun Run(std::vector<std::string> args, const std::function<bool(pid_t)>& interrupt_when = {}) {
    args.insert(args.begin(), {"--port", simulator->slave_path()});
    return RunKv4t(args, interrupt_when);
  }
  // The same with --json; the output must be one JSON object with the exit code.
  json RunJson(std::vector<std::string> args, int expected_code, bool at_converter = true) {
    args.insert(args.begin(), "--json");
    const Kv4tRun run = at_converter ? Run(std::move(args)) : RunKv4t(args);
    EXPECT_EQ(run.code, expected_code) << run.out << run.err;
    json result = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(result.is_discarded()) << run.out;
    if (!result.is_discarded()) {
      EXPECT_EQ(result.value("exit", -1), expected_code);
    }
    return result;
  }
  std::string File(const char* name) const { return (folder / name).string(); }

  std::unique_ptr<sim::Simulator> simulator;
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kv4t-cli-" + std::to_string(getpid()));
};

TEST(Kv4tHelp, ListsTheExitCodesAndEverySubcommand) {
  const Kv4tRun run = RunKv4t({"--help"});
  EXPECT_EQ(run.code, kDone);
  for (const char* text : {"0    выполнено", "1    преобразователь не ответил", "2    неверное",
                           "3    порт не открывается", "130  прервано", "ports", "identify",
                           "loop", "rs485", "test", "scan", "commission", "config", "catalog"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  const std::vector<std::vector<std::string>> subcommands = {
      {"ports"}, {"identify"}, {"loop", "read"}, {"loop", "write"}, {"rs485", "write"},
      {"test"},  {"scan"},     {"commission"}, {"config", "show"}, {"config", "write"},
      {"catalog", "check"}};
  for (std::vector<std::string> args : subcommands) {
    args.push_back("--help");
    const Kv4tRun sub = RunKv4t(args);
    EXPECT_EQ(sub.code, kDone) << args[0];
    EXPECT_NE(sub.out.find("Usage"), std::string::npos) << args[0];
  }
}

// Bad usage is refused before the converter is touched.
struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;  // part of what standard error says
};
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }
class Kv4tUsage : public Kv4tSim, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(Kv4tUsage, ExitsWithTwo) {
  Start();
  const UsageCase& c = GetParam();
  std::vector<std::string> args = c.args;
  for (std::string& a : args)
    if (a == "@FOLDER") a = folder.string();
  const Kv4tRun run = Run(args);
  EXPECT_EQ(run.code, kUsage) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(simulator->state().count(sim::kParamDev), 0);
}

const UsageCase kUsageCases[] = {
    {"UnknownOption", {"--frobnicate", "identify"}, "--frobnicate"},
    {"NoSubcommand", {}, "subcommand"},
    {"BadParity", {"--parity", "mark", "identify"}, "mark"},
    {"OddRate", {"--baud", "12345", "identify"}, "12345"},
    {"Address255Of8Bits", {"rs485", "write", "--new-address", "255"}, "от 0 до 254"},
    {"Address2048Of11Bits", {"rs485", "write", "--new-alen", "11", "--new-address", "2048"}, "2048"},
    {"DelayOver45", {"rs485", "write", "--new-delay", "46"}, "Недопустимое значение задержки: 46"},
    {"NewRate1200", {"rs485", "write", "--new-baud", "1200"}, "скорость 1200 не поддерживается"},
    {"RtuWith7Bits", {"rs485", "write", "--new-proto", "rtu", "--new-bits", "7", "--new-parity", "even"},
     "Для протокола Modbus-RTU правильное значение 8"},
    {"AsciiWith8Bits", {"rs485", "write", "--new-proto", "ascii"}, "Modbus-ASCII правильное значение 7"},
    {"Frame7N1", {"rs485", "write", "--new-bits", "7"}, "этот режим не поддерживается KV4T"},
    {"Frame8E2", {"rs485", "write", "--new-parity", "even", "--new-stop", "2"}, "не поддерживается"},
    {"MissingConfig", {"--config", "/nonexistent/a.kv4tcfg", "identify"}, "нет файла конфигурации"},
    {"NotAConfig", {"--config", "@FOLDER", "identify"}, "нет файла конфигурации"},
    {"TestWith7Bits", {"--bits", "7", "--parity", "even", "test"}, "длинной слова данных 8"},
    {"ScanRate12345", {"scan", "--rates", "9600,12345"}, "12345"},
    {"ScanRefusedFrame", {"scan", "--frames", "8-n-1,7-n-1"}, "не принимает"},
    {"ScanFrameGarbled", {"scan", "--frames", "8-x-3"}, "не понят"},
    {"ScanAlen9", {"scan", "--alens", "9"}, "8 или 11"},
    {"ScanAddress3000", {"scan", "--addresses", "3000"}, "больше 2047"},
    {"ScanBackwardRange", {"scan", "--addresses", "20-10"}, "обратную"},
    {"ScanEmptyList", {"scan", "--rates", ""}, "не число"},
    {"ScanModbusWithout8BitAddresses", {"scan", "--modbus", "--alens", "11"}, "8-битными"},
    {"ScanNothingLeft", {"scan", "--alens", "8", "--addresses", "300-400"}, "ни одной пробы"},
    {"ScanLatency256", {"scan", "--latency", "256"}, "от 0 до 255"},
    {"ScanLatencyNegative", {"scan", "--latency", "-1"}, "от 0 до 255"},
};
INSTANTIATE_TEST_SUITE_P(Cases, Kv4tUsage, ::testing::ValuesIn(kUsageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A port that is not there: exit code 3 from every command that opens one.
class Kv4tNoPort : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(Kv4tNoPort, ExitsWithThree) {
  std::vector<std::string> args = {"--port", "/nonexistent/kv4t-line"};
  for (const std::string& a : GetParam()) args.push_back(a);
  const Kv4tRun run = RunKv4t(args);
  EXPECT_EQ(run.code, kPort) << run.err;
  // The test says it in its protocol, the others as an error.
  EXPECT_NE((run.out + run.err).find("/nonexistent/kv4t-line\""), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Commands, Kv4tNoPort,
                         ::testing::Values(std::vector<std::string>{"identify"},
                                           std::vector<std::string>{"loop", "read"},
                                           std::vector<std::string>{"rs485", "write"},
                                           std::vector<std::string>{"test"},
                                           std::vector<std::string>{"scan"}));

TEST_F(Kv4tSim, IdentifyReportsNameAndVersion) {
  Start();
  const Kv4tRun run = Run({"identify"});
  EXPECT_EQ(run.code, kDone) << run.err;
  EXPECT_EQ(run.out, "KS4T " + std::string(sim::kFactoryVersion) + "\n");
  const json result = RunJson({"identify"}, kDone);
  EXPECT_EQ(result["device"], "KS4T");
  EXPECT_EQ(result["version"], sim::kFactoryVersion);
  EXPECT_TRUE(Run({"--quiet", "identify"}).out.empty());
}

TEST_F(Kv4tSim, SilentOrForeignConverterExitsWithOne) {
  sim::Options options;
  options.device = "KS4";
  Start(options);
  const json result = RunJson({"identify"}, kNoAnswer);
  EXPECT_NE(result["error"].get<std::string>().find("не является преобразователем KV4T. (KS4)"),
            std::string::npos);
  SetFaults(true);
  const Kv4tRun run = Run({"identify"});
  EXPECT_EQ(run.code, kNoAnswer);
  EXPECT_NE(run.err.find("Не удалось установить связь с прибором."), std::string::npos);
}

// A request carries only the address bits of its address length: an 8-bit request
// to address 300 would go out to address 44 and reach the converter there. Every
// command refuses such a link address before anything is sent.
TEST_F(Kv4tSim, LinkAddressOutsideItsLengthIsRefusedBeforeAnythingIsSent) {
  sim::Options options;
  options.address = 300 & 0xFF;
  Start(options);
  const std::vector<std::vector<std::string>> commands = {
      {"identify"}, {"loop", "read"}, {"rs485", "write"}, {"test"}, {"scan"}};
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> args = {"--address", "300"};
    args.insert(args.end(), command.begin(), command.end());
    const Kv4tRun run = Run(args);
    EXPECT_EQ(run.code, kUsage) << run.err;
    EXPECT_EQ(run.err,
              "kv4t: Недопустимое значение сетевого адреса: 300\n"
              "правильное значение при данном типе адресации от 0 до 254\n");
  }
  // An address length given beside a file's address is checked with it.
  const std::string file = File("eleven.kv4tcfg");
  ConverterDevice settings;
  settings.LinkSet().address = 1000;
  settings.LinkSet().alen = 11;
  ASSERT_EQ(settings.SaveConfigFile(file), kConfigFileOk);
  const json result = RunJson({"--config", file, "--alen", "8", "identify"}, kUsage);
  EXPECT_NE(result.value("error", "").find("адреса: 1000"), std::string::npos) << result.dump();
  const sim::State state = simulator->state();
  EXPECT_TRUE(state.requests.empty());
  EXPECT_EQ(state.ignored_bytes + state.ignored_frames + state.garbled_frames, 0);
  // The converter the request would have reached.
  EXPECT_EQ(Run({"--address", "44", "identify"}).code, kDone);
}

TEST_F(Kv4tSim, LoopReadAndWriteGoThroughTheInstrumentsDescription) {
  Start();
  json result = RunJson({"loop", "read"}, kDone);
  EXPECT_EQ(result["loop"]["instrument"], sim::kFactoryLoopDevice);
  EXPECT_EQ(result["loop"]["baud"], sim::kFactoryLoopBaud);
  EXPECT_EQ(result["loop"]["stop"], 2);
  EXPECT_TRUE(result["known"].get<bool>());

  // The polling interval is held to 1..60 whatever the instrument allows.
  result = RunJson({"loop", "write", "--poll", "61"}, kUsage);
  EXPECT_NE(result["error"].get<std::string>().find("частоты опроса: 61"), std::string::npos);
  result = RunJson({"loop", "write", "--loop-baud", "57600"}, kUsage);
  EXPECT_NE(result["error"].get<std::string>().find("57600"), std::string::npos);
  EXPECT_EQ(simulator->state().number(sim::kParamLoopPoll), sim::kFactoryLoopPoll);

  result = RunJson({"loop", "write", "--poll", "7"}, kDone);
  EXPECT_EQ(result["loop"]["poll"], 7);
  EXPECT_EQ(simulator->state().number(sim::kParamLoopPoll), 7);
  EXPECT_EQ(simulator->state().text(sim::kParamLoopDev), sim::kFactoryLoopDevice);
}

TEST_F(Kv4tSim, Rs485WriteAppliesAndVerifiesTheNewSettings) {
  Start();
  const json result =
      RunJson({"rs485", "write", "--new-baud", "38400", "--new-address", "77"}, kDone);
  EXPECT_TRUE(result["verified"].get<bool>());
  EXPECT_EQ(result["rs485"]["baud"], 38400);
  const sim::State state = simulator->state();
  EXPECT_EQ(state.line.baud, 38400);
  EXPECT_EQ(state.address, 77);
  EXPECT_EQ(state.count(sim::kParamApply), 1);
  // Reached again at the new settings, unchanged besides them.
  const Kv4tRun again = Run({"--baud", "38400", "--address", "77", "identify"});
  EXPECT_EQ(again.code, kDone) << again.err;
}

TEST_F(Kv4tSim, Rs485WriteSaysPlainlyWhenTheConverterIsLost) {
  Start();
  std::thread silence([this] {
    if (simulator->wait_for_requests(sim::kParamApply, 1, 20000))
      SetFaults(true);
  });
  const Kv4tRun run = Run({"rs485", "write", "--new-baud", "19200"});
  silence.join();
  EXPECT_EQ(run.code, kNoAnswer);
  EXPECT_NE(run.err.find("не отвечает с новыми настройками"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("kv4t scan"), std::string::npos);
}

// Switched to Modbus, the converter is asked in Modbus at its new unit and line
// settings: an identification's wake-up would return it to RAVIK.
TEST_F(Kv4tSim, Rs485WriteToModbusVerifiesInModbus) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    sim::Protocol protocol;
    int line_bits;
    bool register_readable;  // else it answers the read with exception 2
  };
  const Case cases[] = {
      {"rtu", {"--new-proto", "modbus-rtu", "--new-baud", "19200"}, sim::Protocol::modbus_rtu, 8, true},
      {"ascii", {"--new-proto", "modbus-ascii", "--new-bits", "7", "--new-parity", "even"},
       sim::Protocol::modbus_ascii, 7, true},
      {"rtu, register refused", {"--new-proto", "rtu", "--new-stop", "2"}, sim::Protocol::modbus_rtu, 8,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Options options;
    if (!c.register_readable) options.registers.fill(-1);
    Start(options);
    std::vector<std::string> args = {"rs485", "write", "--new-address", "42"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const json result = RunJson(args, kDone);
    EXPECT_TRUE(result.value("verified", false)) << result.dump();
    const sim::State state = simulator->state();
    EXPECT_EQ(state.protocol, c.protocol);
    EXPECT_EQ(state.address, 42);
    EXPECT_EQ(state.line.bits, c.line_bits);
    EXPECT_GE(state.count(sim::kCountModbusRead), 1);
    EXPECT_EQ(state.count(sim::kCountModbusCoil), 0);
    EXPECT_EQ(state.count(sim::kParamApply), 1);
  }
}

TEST_F(Kv4tSim, Rs485WriteToModbusFailsWhenTheConverterIsSilentThere) {
  // It takes the settings and "APLY" in RAVIK, then answers no register read.
  sim::Options options;
  options.faults.no_answer = {std::string(sim::kCountModbusRead)};
  Start(options);
  json result = RunJson({"rs485", "write", "--new-proto", "modbus-rtu", "--new-address", "42"},
                        kNoAnswer);
  EXPECT_FALSE(result.value("verified", true));
  EXPECT_NE(result.value("error", "").find("не отвечает с новыми настройками"), std::string::npos)
      << result.dump();
  sim::State state = simulator->state();
  EXPECT_EQ(state.protocol, sim::Protocol::modbus_rtu);
  EXPECT_GE(state.count(sim::kCountModbusRead), 1);
  EXPECT_EQ(state.count(sim::kCountModbusCoil), 0);

  // Unit 0 is Modbus's broadcast: nothing answers a read there.
  Start();
  result = RunJson({"rs485", "write", "--new-proto", "modbus-rtu", "--new-address", "0"}, kNoAnswer);
  EXPECT_FALSE(result.value("verified", true));
  EXPECT_NE(result.value("error", "").find("широковещательный"), std::string::npos) << result.dump();
  state = simulator->state();
  EXPECT_EQ(state.protocol, sim::Protocol::modbus_rtu);
  EXPECT_EQ(state.address, 0);
  EXPECT_EQ(state.count(sim::kCountModbusCoil), 0);
}

// A configuration file may carry values the converter has no code for; the
// RS-485 side takes its line settings from the file's link: refused, nothing sent.
TEST_F(Kv4tSim, Rs485WriteRefusesAConfigFilesValuesWithoutACode) {
  Start();
  struct Case {
    const char* name;
    int32_t baud, parity, stopbits, proto;
    const char* message;
  };
  const Case cases[] = {
      {"rate 1200", 1200, 0, 0, 0, "скорость 1200 не поддерживается"},
      {"parity 3", 9600, 3, 0, 0, "чётность 3"},
      {"stop bits 1", 9600, 0, 1, 0, "стоп-биты 1"},
      {"protocol 7", 9600, 0, 0, 7, "протокол 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = File("odd.kv4tcfg");
    ConverterDevice settings;
    PortSettings& link = settings.LinkSet();
    link.port = simulator->slave_path();
    link.baud = c.baud;
    link.bytesize = 8;
    link.parity = c.parity;
    link.stopbits = c.stopbits;
    link.address = sim::kFactoryAddress;
    link.alen = 8;
    settings.Rs485Set().proto = c.proto;
    ASSERT_EQ(settings.SaveConfigFile(file), kConfigFileOk);
    const json result = RunJson({"--config", file, "rs485", "write"}, kUsage);
    EXPECT_NE(result.value("error", "").find(c.message), std::string::npos) << result.dump();
    const sim::State state = simulator->state();
    EXPECT_TRUE(state.requests.empty());
    EXPECT_EQ(state.ignored_bytes + state.ignored_frames + state.garbled_frames, 0);
  }
}

TEST_F(Kv4tSim, TestWritesTheWindowsProtocolAndStatistics) {
  Start();
  const std::string trace = File("trace.txt");
  const json result = RunJson({"--trace", trace, "test", "--repeat", "30"}, kDone);
  const auto& protocol = result["protocol"];
  ASSERT_GE(protocol.size(), 4u);
  EXPECT_EQ(protocol.front(), "Тестирование началось...");
  EXPECT_EQ(protocol[2], "по адресу 16 подключен KV4T (" + std::string(sim::kFactoryVersion) + ")");
  EXPECT_EQ(protocol.back(), "Тестирование завершено");
  const json& repeat = result["repeat"];
  EXPECT_EQ(repeat["requests"], 30);
  EXPECT_EQ(repeat["answers"], 30);
  EXPECT_EQ(repeat["losses"], 0);
  const json& ms = repeat["answer_ms"];
  EXPECT_LE(ms["min"].get<double>(), ms["median"].get<double>());
  EXPECT_LE(ms["median"].get<double>(), ms["p95"].get<double>());
  EXPECT_LE(ms["p95"].get<double>(), ms["max"].get<double>());
  EXPECT_EQ(simulator->state().protocol, sim::Protocol::ravik);

  const std::string lines = ReadText(trace);
  EXPECT_NE(lines.find(" TX 23 "), std::string::npos);
  EXPECT_NE(lines.find(" RX 23 "), std::string::npos);
  EXPECT_NE(lines.find("| ok"), std::string::npos);
}

TEST_F(Kv4tSim, TestCountsLostAnswers) {
  sim::Options options;
  Start(options);
  // Every answer to "dev" lost after the protocol's reads: the statistics see them.
  std::thread lose([this] {
    if (simulator->wait_for_requests("modbus:3", 256, 60000))
      SetFaults(false, {std::string(sim::kParamDev)});
  });
  const json result = RunJson({"test", "--repeat", "5"}, kNoAnswer);
  lose.join();
  EXPECT_EQ(result["repeat"]["losses"].get<int>() + result["repeat"]["answers"].get<int>(), 5);
  EXPECT_GT(result["repeat"]["losses"].get<int>(), 0);
}

TEST_F(Kv4tSim, InterruptedTestReturnsTheConverterToItsProtocol) {
  Start();
  const Kv4tRun run = Run({"--json", "test"}, [this](pid_t) {
    return simulator->request_count("modbus:3") >= 10;
  });
  EXPECT_EQ(run.code, kInterrupted) << run.err;
  const json result = json::parse(run.out, nullptr, false);
  ASSERT_FALSE(result.is_discarded()) << run.out;
  EXPECT_EQ(result["protocol"].back(), "Тестирование прервано");
  EXPECT_LT(simulator->request_count("modbus:3"), 256);
  EXPECT_EQ(simulator->state().protocol, sim::Protocol::ravik);
  // The port is closed: the converter is reached again at once.
  EXPECT_EQ(Run({"identify"}).code, kDone);
}

TEST_F(Kv4tSim, ScanFindsAMovedConverter) {
  sim::Options options;
  options.line.baud = 38400;
  options.address = 77;
  Start(options);
  const json result = RunJson({"scan"}, kDone);
  ASSERT_EQ(result["found"].size(), 1u);
  const json& found = result["found"][0];
  EXPECT_EQ(found["baud"], 38400);
  EXPECT_EQ(found["address"], 77);
  EXPECT_EQ(found["bits"], 8);
  EXPECT_EQ(found["parity"], "none");
  EXPECT_EQ(found["device"], "KS4T");
  EXPECT_EQ(found["version"], sim::kFactoryVersion);
}

TEST_F(Kv4tSim, ScanTriesTheGivenSettingsFirst) {
  sim::Options options;
  options.line.baud = 57600;
  options.address = 200;
  Start(options);
  const json result = RunJson({"--baud", "57600", "--address", "200", "scan"}, kDone);
  EXPECT_EQ(result["probes"], 1);
  EXPECT_EQ(result["found"][0]["address"], 200);
}

// The channel cannot take 1200 baud and would probe at the rate it had: a
// converter answering there must not be reported at 1200.
TEST_F(Kv4tSim, ScanSkipsGivenSettingsTheLineCannotTake) {
  Start();
  const std::string file = File("slow.kv4tcfg");
  ConverterDevice settings;
  settings.LinkSet().port = simulator->slave_path();
  settings.LinkSet().baud = 1200;
  settings.LinkSet().bytesize = 8;
  settings.LinkSet().address = sim::kFactoryAddress;
  ASSERT_EQ(settings.SaveConfigFile(file), kConfigFileOk);
  const json result = RunJson({"--config", file, "scan"}, kDone);
  ASSERT_EQ(result["found"].size(), 1u);
  EXPECT_EQ(result["found"][0]["baud"], sim::kFactoryBaud);
  EXPECT_EQ(result["probes"], 1);
}

TEST_F(Kv4tSim, InterruptedScanClosesThePort) {
  sim::Options options;
  options.faults.silent = true;
  Start(options);
  // Ctrl-C once the converter has seen three probes (a sanitizer build on a busy
  // machine takes its time to start); a scan that never gets there is cut short.
  // The first probe is at its address, the next ones at addresses 1 and 0, which
  // it counts as frames for another converter.
  auto probes_seen = [this] {
    const sim::State state = simulator->state();
    return state.count(sim::kParamDev) + state.ignored_frames;
  };
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  Clock::time_point interrupted{};
  const Kv4tRun run = Run({"--json", "scan"}, [&](pid_t) {
    const bool probed = probes_seen() >= 3;
    if (probed || Clock::now() - start > std::chrono::seconds(60)) interrupted = Clock::now();
    return probed || interrupted != Clock::time_point{};
  });
  EXPECT_GE(probes_seen(), 3) << "fewer than 3 probes within 60 s";
  EXPECT_EQ(run.code, kInterrupted) << run.err;
  const json result = json::parse(run.out, nullptr, false);
  ASSERT_FALSE(result.is_discarded()) << run.out;
  EXPECT_GT(result["probes"].get<int>(), 2);
  EXPECT_TRUE(result["found"].empty());
  // The scan ends promptly once interrupted.
  const double ended_after =
      run.seconds - std::chrono::duration<double>(interrupted - start).count();
  EXPECT_LT(ended_after, 5.0);
  SetFaults(false);
  EXPECT_EQ(Run({"identify"}).code, kDone);
}

// The factory settings' probes at the start of every unnarrowed scan: the given
// settings are the factory ones unless the options say otherwise.
std::size_t ProbesUpTo(const ScanProbe& target, const ScanPlan& plan) {
  ConverterDevice settings;
  std::size_t n = 0;
  for (const ScanProbe& p : ScanOrder(settings.LinkSet(), plan)) {
    ++n;
    if (p == target) return n;
  }
  return 0;
}

// A converter left in Modbus RTU at 19200 baud and unit 9 answers no RAVIK probe;
// with Modbus probing its wake-up coil is acknowledged, it is named in RAVIK and
// put back into Modbus RTU, where it answers a register read again.
TEST_F(Kv4tSim, ScanWithModbusFindsAConverterLeftInModbus) {
  sim::Options options;
  options.line.baud = 19200;
  options.address = 9;
  options.protocol = sim::Protocol::modbus_rtu;
  Start(options);
  const json result = RunJson({"scan", "--modbus"}, kDone);
  ASSERT_EQ(result["found"].size(), 1u) << result.dump();
  const json& found = result["found"][0];
  EXPECT_EQ(found["baud"], 19200);
  EXPECT_EQ(found["address"], 9);
  EXPECT_EQ(found["alen"], 8);
  EXPECT_EQ(found["protocol"], "MODBUS-RTU");
  EXPECT_EQ(found["device"], "KS4T");
  EXPECT_TRUE(found.value("restored", false));
  EXPECT_EQ(result["probes"], ProbesUpTo({19200, 8, 0, 0, 9, 8, 2}, {.modbus = true}));
  const sim::State state = simulator->state();
  EXPECT_EQ(state.protocol, sim::Protocol::modbus_rtu);
  EXPECT_EQ(state.address, 9);
  EXPECT_EQ(state.count(sim::kCountModbusCoil), 1);
  EXPECT_EQ(state.count(sim::kParamApply), 1);
  EXPECT_GE(state.count(sim::kCountModbusRead), 1);
}

// Three converters on one line at 19200 baud: two in RAVIK at 5 and 77, one in
// Modbus RTU at 9. Every converter is listed once, although 5 and 77 answer
// their 11-bit twins (40 and 616) too; only the Modbus one is written to, and it
// is left in Modbus (its 11-bit twin 72 stays unanswered).
TEST_F(Kv4tSim, ScanAllWithModbusListsEveryConverterOfABusOnce) {
  Start(ThreeConverterBus("V"));
  const json result = RunJson({"scan", "--all", "--modbus", "--rates", "19200", "--frames", "8-n-1",
                               "--addresses", "0-10,40,72,77,616"},
                              kDone);
  std::set<std::tuple<int, std::string, std::string>> found;
  for (const json& hit : result["found"]) {
    EXPECT_EQ(hit["baud"], 19200);
    EXPECT_EQ(hit["alen"], 8);
    EXPECT_EQ(hit["device"], "KS4T");
    found.insert({hit["address"].get<int>(), hit["protocol"].get<std::string>(),
                  hit["version"].get<std::string>()});
  }
  EXPECT_EQ(result["found"].size(), 3u) << result.dump();
  EXPECT_EQ(found, (std::set<std::tuple<int, std::string, std::string>>{
                       {5, "RAVIK", "V5"}, {77, "RAVIK", "V77"}, {9, "MODBUS-RTU", "V9"}}));
  // The twins answered and were recognised; the whole narrowed sweep was made.
  std::set<std::pair<int, int>> twins;
  for (const json& answer : result["answers"])
    if (!answer["reported"].get<bool>()) twins.insert({answer["address"].get<int>(), answer["alen"].get<int>()});
  EXPECT_EQ(twins, (std::set<std::pair<int, int>>{{40, 11}, {616, 11}}));
  EXPECT_EQ(result["probes"], ScanOrder(ConverterDevice().LinkSet(),
                                        {.rates = {19200}, .frames = {{8, 0, 0}},
                                         .addresses = {{0, 10}, {40, 40}, {72, 72}, {77, 77}, {616, 616}},
                                         .modbus = true})
                                  .size());
  for (std::size_t i : {0, 1}) {
    const sim::State ravik = simulator->state(i);
    EXPECT_EQ(ravik.protocol, sim::Protocol::ravik);
    EXPECT_EQ(ravik.count(sim::kParamApply), 0);
    EXPECT_EQ(ravik.count(sim::kParamProto), 0);
  }
  const sim::State modbus = simulator->state(2);
  EXPECT_EQ(modbus.protocol, sim::Protocol::modbus_rtu);
  EXPECT_EQ(modbus.count(sim::kCountModbusCoil), 1);
  EXPECT_EQ(modbus.count(sim::kParamApply), 1);
}

// Behind a USB adaptor's latency timer and an echoing two-wire adaptor, each probe
// still waits long enough for a converter that answers as late as it may (its
// longest answer delay); the echo is learned from the first probe.
TEST_F(Kv4tSim, ScanFindsAConverterBehindAnAdaptor) {
  struct Case {
    const char* name;
    bool echo;
    int latency_ms;
  };
  const Case cases[] = {{"latency 16", false, 16}, {"echo", true, 0}, {"echo and latency 16", true, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Options options;
    options.line.baud = 19200;
    options.address = 77;
    options.delay_ms = 45;
    options.echo = c.echo;
    options.latency_ms = c.latency_ms;
    Start(options);
    std::vector<std::string> args = {"scan", "--rates", "19200", "--frames", "8-n-1", "--alens", "8",
                                     "--addresses", "70-80"};
    if (c.latency_ms) args.insert(args.end(), {"--latency", std::to_string(c.latency_ms)});
    const json result = RunJson(args, kDone);
    ASSERT_EQ(result["found"].size(), 1u) << result.dump();
    EXPECT_EQ(result["found"][0]["address"], 77);
    EXPECT_EQ(result["probes"], 8);
    EXPECT_EQ(result["echo"], c.echo ? "present" : "absent");
    EXPECT_GE(result["latency_ms"].get<int>(), c.latency_ms);
    simulator->stop();
  }
}

// kv4t reads the adaptor from sysfs: the port listing shows an FTDI adaptor's
// identity, latency timer and hints; the scan takes its latency timer; and
// --low-latency sets the timer to 1 ms for the run and puts it back.
TEST_F(Kv4tSim, UsbAdaptorSeenThroughSysfs) {
  Start();
  fake_system::FakeSystem sys;
  sys.AddUsb(1, fake_system::kFtdi);
  sys.ById(fake_system::kFtdiById, "ttyUSB0");
  sys.Link(sys.root / "dev" / "ttyUSB0", simulator->slave_path());
  sys.Link(sys.root / "ports" / "com40", sys.root / "dev" / "ttyUSB0");
  setenv("KV4T_SYS_ROOT", sys.root.c_str(), 1);
  setenv("KV4T_PORTS_DIR", (sys.root / "ports").c_str(), 1);
  struct Unset {
    ~Unset() {
      unsetenv("KV4T_SYS_ROOT");
      unsetenv("KV4T_PORTS_DIR");
    }
  } unset;

  json result = RunJson({"ports"}, kDone, false);
  const json* port = nullptr;
  for (const json& p : result["ports"])
    if (p["name"] == "COM40") port = &p;
  ASSERT_NE(port, nullptr) << result.dump();
  EXPECT_EQ((*port)["adaptor"]["driver"], "ftdi_sio");
  EXPECT_EQ((*port)["adaptor"]["vendor_id"], "0403");
  EXPECT_EQ((*port)["adaptor"]["serial"], "A10K1234");
  EXPECT_EQ((*port)["adaptor"]["latency_timer_ms"], 16);
  EXPECT_EQ((*port)["adaptor"]["by_id"][0], fake_system::kFtdiById);
  EXPECT_EQ((*port)["hints"].size(), 2u);
  const Kv4tRun text = RunKv4t({"ports"});
  EXPECT_NE(text.out.find("COM40"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("    USB: FTDI FT232R USB UART (0403:6001), драйвер ftdi_sio"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("    подсказка: таймер задержки 16 мс"), std::string::npos) << text.out;

  result = RunJson({"--port", "COM40", "scan", "--estimate"}, kDone, false);
  EXPECT_EQ(result["latency_ms"], 16);
  EXPECT_NE(result["latency_source"].get<std::string>().find("sysfs"), std::string::npos);

  result = RunJson({"--port", "COM40", "--low-latency", "identify"}, kDone, false);
  const std::string notes = result["notes"].dump();
  EXPECT_NE(notes.find("таймер задержки 1 мс (было 16)"), std::string::npos) << notes;
  EXPECT_NE(notes.find("прежние настройки порта восстановлены"), std::string::npos) << notes;
  EXPECT_EQ(ReadText(sys.Timer(1, "ttyUSB0")), "16\n");
}

TEST_F(Kv4tSim, ConfigFileIsSharedWithTheWindow) {
  Start();
  // Written by the window's code, shown by kv4t.
  const std::string window_file = File("window.kv4tcfg");
  {
    ConverterDevice settings;
    settings.LinkSet().port = "COM7";
    settings.LinkSet().baud = 19200;
    settings.LinkSet().address = 33;
    settings.Rs485Set().proto = 2;
    settings.LoopSet().delay = 9;
    ASSERT_EQ(settings.SaveConfigFile(window_file), kConfigFileOk);
  }
  json result = RunJson({"config", "show", window_file}, kDone, false);
  EXPECT_EQ(result["port"], "COM7");
  EXPECT_EQ(result["link"]["baud"], 19200);
  EXPECT_EQ(result["link"]["address"], 33);
  EXPECT_EQ(result["rs485"]["protocol"], "MODBUS-RTU");
  EXPECT_EQ(result["loop"]["poll"], 9);

  // Written by kv4t from options on top of that file, read by the window's code.
  const std::string cli_file = File("cli.kv4tcfg");
  RunJson({"--config", window_file, "--baud", "57600", "config", "write", cli_file, "--new-address",
           "120", "--new-proto", "ravik", "--poll", "12"},
          kDone);
  ConverterDevice settings;
  ASSERT_EQ(settings.LoadConfigFile(cli_file), kConfigFileOk);
  EXPECT_EQ(settings.LinkSet().port, simulator->slave_path());
  EXPECT_EQ(settings.LinkSet().baud, 57600);
  EXPECT_EQ(settings.LinkSet().address, 33);
  EXPECT_EQ(settings.Rs485Set().address, 120);
  EXPECT_EQ(settings.Rs485Set().proto, 0);
  EXPECT_EQ(settings.LoopSet().delay, 12);

  // Its link settings reach the converter.
  const std::string link_file = File("link.kv4tcfg");
  RunJson({"config", "write", link_file}, kDone);
  EXPECT_EQ(RunKv4t({"--config", link_file, "identify"}).code, kDone);

  std::ofstream(File("junk.kv4tcfg")) << "not a configuration";
  result = RunJson({"config", "show", File("junk.kv4tcfg")}, kUsage, false);
  EXPECT_NE(result["error"].get<std::string>().find("не является файлом конфигурации"),
            std::string::npos);
}

TEST_F(Kv4tSim, CatalogCheckReportsFaultyDescriptions) {
  Start();
  json result = RunJson({"catalog", "check", KV4T_CATALOG_DIR "/KV4T_Controllers.xml",
                         KV4T_CATALOG_DIR "/KV4T_Thermometers.xml"},
                        kDone);
  ASSERT_EQ(result["files"].size(), 2u);
  EXPECT_FALSE(result["files"][0]["entries"].empty());
  EXPECT_TRUE(result["files"][0]["faults"].empty());

  std::ofstream(File("empty.xml")) << "<KV4T></KV4T>";
  std::ofstream(File("bad.xml"))
      << "<KV4T><device name=\"X-1\" description=\"x\" validbauds=\"4800\" defbaud=\"9600\" "
         "defbytesize=\"8\" defparity=\"0\" defstopbits=\"0\" pollmin=\"90\" pollmax=\"100\" "
         "flags=\"15\"><version name=\"X1\" description=\"x\"/></device></KV4T>";
  result = RunJson({"catalog", "check", File("empty.xml"), File("bad.xml"), File("none.xml")},
                   kNoAnswer);
  ASSERT_EQ(result["files"].size(), 3u);
  for (const json& file : result["files"]) EXPECT_FALSE(file["faults"].empty()) << file.dump();
}

// A polling maximum of 32768 and more is a 16-bit value without sign, as the
// window's spin takes it, not a negative bound below every interval: such an
// entry's defaults pass the loop checks.
TEST_F(Kv4tSim, PollingMaximumWithTheTopBitSetIsNoNegativeBound) {
  Start();
  std::ofstream(File("wide.xml"))
      << "<KV4T><device name=\"W-1\" description=\"w\" validbauds=\"9600\" defbaud=\"9600\" "
         "defbytesize=\"8\" defparity=\"0\" defstopbits=\"0\" pollmin=\"1\" pollmax=\"40000\" "
         "flags=\"15\"><version name=\"W1\" description=\"w\"/></device></KV4T>";
  const json result = RunJson({"catalog", "check", File("wide.xml")}, kDone);
  ASSERT_EQ(result["files"].size(), 1u);
  EXPECT_EQ(result["files"][0]["entries"].size(), 1u);
  EXPECT_TRUE(result["files"][0]["faults"].empty()) << result.dump();
}

TEST_F(Kv4tSim, PortsListsTheLinkedPort) {
  Start();
  const PortsFolder ports("kv4t-cli-ports");
  ports.Link(simulator->slave_path(), 61);
  const Kv4tRun run = RunKv4t({"--json", "ports"});
  EXPECT_EQ(run.code, kDone);
  const json result = json::parse(run.out);
  bool listed = false;
  for (const json& port : result["ports"])
    if (port["name"] == "COM61") listed = true;
  EXPECT_TRUE(listed) << run.out;
  // COMn works as --port through the same folder.
  const Kv4tRun identify = RunKv4t({"--port", "COM61", "identify"});
  EXPECT_EQ(identify.code, kDone) << identify.err;
}

class Kv4tOnLine : public Kv4tSim, public ::testing::WithParamInterface<LineKind> {};

// identify, rs485 write with its verification and a line test with 200 repeated
// reads: each as on a plain line, every answer counted.
TEST_P(Kv4tOnLine, IdentifyWriteAndTest) {
  Start(OnLine(GetParam()));
  json result = RunJson({"identify"}, kDone);
  EXPECT_EQ(result["device"], "KS4T");
  EXPECT_EQ(result["version"], sim::kFactoryVersion);

  result = RunJson({"rs485", "write", "--new-baud", "38400", "--new-address", "77"}, kDone);
  EXPECT_TRUE(result.value("verified", false)) << result.dump();
  EXPECT_EQ(simulator->state().line.baud, 38400);
  EXPECT_EQ(simulator->state().address, 77);
  EXPECT_EQ(simulator->state().count(sim::kParamBaud), 1);

  result = RunJson({"--baud", "38400", "--address", "77", "test", "--repeat", "200"}, kDone);
  const json& repeat = result["repeat"];
  EXPECT_EQ(repeat["requests"], 200);
  EXPECT_EQ(repeat["answers"], 200);
  EXPECT_EQ(repeat["losses"], 0);
  EXPECT_EQ(repeat["check_errors"], 0);
  EXPECT_EQ(result["protocol"].back(), "Тестирование завершено");
  EXPECT_EQ(simulator->state().protocol, sim::Protocol::ravik);
}

INSTANTIATE_TEST_SUITE_P(Lines, Kv4tOnLine,
                         ::testing::ValuesIn(kLineKinds), LineKindName);

// On an echoing line whose converter answers nothing, every write fails with
// exit code 1 and nothing is taken.
TEST_F(Kv4tSim, WritesToASilentConverterOnAnEchoingLineFail) {
  sim::Options options;
  options.echo = true;
  options.faults.silent = true;
  Start(options);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"rs485", "write", "--new-baud", "19200"},
        std::vector<std::string>{"loop", "write", "--poll", "5"}}) {
    SCOPED_TRACE(command[0]);
    const json result = RunJson(command, kNoAnswer);
    EXPECT_NE(result.value("error", "").find("Не удалось установить связь с прибором."),
              std::string::npos)
        << result.dump();
  }
  const sim::State state = simulator->state();
  EXPECT_EQ(state.count(sim::kParamBaud), 0);
  EXPECT_EQ(state.count(sim::kParamLoopPoll), 0);
  EXPECT_EQ(state.count(sim::kParamApply), 0);
}

}  // namespace
