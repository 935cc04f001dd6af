// kv4t commission against the simulated converter, one converter after another on
// the same line: a new simulator at the factory settings takes the last one's place
// each time kv4t has recorded a row, as the engineer connects the next converter.
// The test follows the report kv4t replaces after every row and the converters' own
// state; it never waits a fixed time.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/commission_report.h"
#include "common/code_pages.h"
#include "sim/sim.h"
#include "tests/cli/kv4t_runner.h"

namespace {

namespace sim = kv4t::sim;
using nlohmann::json;

constexpr int kDone = 0, kNoAnswer = 1, kUsage = 2, kInterrupted = 130;

// Three converters, the last one to Modbus RTU.
constexpr const char kThreeRows[] =
    "tag,address,alen,baud,parity,stop,protocol\n"
    "Насос-1,5,,19200,,,\n"
    "Насос-2,1000,11,38400,even,,\n"
    "Счётчик,42,,19200,,2,rtu\n";

class Commission : public ::testing::Test {
 protected:
  // What the test does once kv4t has got somewhere: connect the next converter, or
  // (interrupt) press Ctrl-C.
  struct Step {
    std::function<bool()> event;
    std::optional<sim::Options> next;
    bool interrupt = false;
  };

  void SetUp() override {
    Catalogue().AddBuiltInWhenEmpty();
    std::filesystem::create_directories(folder);
  }
  void TearDown() override {
    if (converter) converter->stop();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }

  std::string File(const char* name) const { return (folder / name).string(); }
  std::string Line() const { return File("line"); }
  void WriteFile(const char* name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
  }

  // A converter on the line in place of the one there (whose last state is kept).
  void Connect(sim::Options options = {}) {
    if (converter) {
      earlier.push_back(converter->state());
      converter->stop();
    }
    options.link_path = Line();
    converter = std::make_unique<sim::Simulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(converter->start(&error)) << error;
  }

  std::vector<ReportRecord> Report() const {
    std::vector<ReportRecord> records;
    if (!std::filesystem::exists(File("report.csv"))) return records;
    const std::vector<CsvFinding> findings = ReadReport(ReadText(File("report.csv")), records);
    EXPECT_TRUE(findings.empty()) << findings.front().text;
    return records;
  }
  bool Reported(const std::string& tag, RowOutcome outcome) const {
    for (const ReportRecord& r : Report())
      if (r.tag == tag && r.outcome == outcome) return true;
    return false;
  }
  Step After(const std::string& tag, RowOutcome outcome, sim::Options next = {}) {
    return {[this, tag, outcome] { return Reported(tag, outcome); }, std::move(next)};
  }
  static Step Interrupt(std::function<bool()> event) { return {std::move(event), {}, true}; }

  // kv4t commission on plan.csv with --wait and report.csv, the steps taken in turn
  // as their events come; a run that is not over within 90 s is interrupted.
  Kv4tRun Run(std::vector<std::string> args, std::vector<Step> steps = {}) {
    std::vector<std::string> all = {"--port", Line(), "commission", File("plan.csv"), "--wait",
                                    "--report", File("report.csv")};
    all.insert(all.end(), args.begin(), args.end());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    std::size_t taken = 0;
    const Kv4tRun run = RunKv4t(all, [&](pid_t) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "kv4t commission still running after 90 s, at step " << taken;
        return true;
      }
      if (taken == steps.size() || !steps[taken].event()) return false;
      const Step& step = steps[taken++];
      if (step.interrupt) return true;
      Connect(*step.next);
      return false;
    });
    EXPECT_EQ(taken, steps.size()) << run.out << run.err;
    return run;
  }

  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kv4t-commission-" + std::to_string(getpid()));
  std::unique_ptr<sim::Simulator> converter;
  std::vector<sim::State> earlier;  // the converters disconnected, in turn
};

TEST_F(Commission, GivesEachConverterItsRowAndARerunSkipsThemAll) {
  WriteFile("plan.csv", kThreeRows);
  Connect();
  const Kv4tRun run =
      Run({"--json"}, {After("Насос-1", RowOutcome::kDone), After("Насос-2", RowOutcome::kDone)});
  ASSERT_EQ(run.code, kDone) << run.out << run.err;
  const json result = json::parse(run.out, nullptr, false);
  ASSERT_FALSE(result.is_discarded()) << run.out;
  EXPECT_EQ(result["done"], 3);
  EXPECT_EQ(result["total"], 3);
  ASSERT_EQ(result["rows"].size(), 3u);
  EXPECT_EQ(result["rows"][2]["settings"]["protocol"], "MODBUS-RTU");

  // Each converter at its new settings, applied once.
  ASSERT_EQ(earlier.size(), 2u);
  EXPECT_EQ(earlier[0].line.baud, 19200);
  EXPECT_EQ(earlier[0].address, 5);
  EXPECT_EQ(earlier[1].alen, 11);
  EXPECT_EQ(earlier[1].address, 1000);
  EXPECT_EQ(earlier[1].line.baud, 38400);
  EXPECT_EQ(earlier[1].line.parity, sim::Parity::even);
  for (const sim::State& state : earlier) EXPECT_EQ(state.count(sim::kParamApply), 1);
  // The Modbus converter was asked in Modbus and never woken back to RAVIK.
  sim::State modbus = converter->state();
  EXPECT_EQ(modbus.protocol, sim::Protocol::modbus_rtu);
  EXPECT_EQ(modbus.address, 42);
  EXPECT_EQ(modbus.line.stop_bits, 2);
  EXPECT_EQ(modbus.count(sim::kParamApply), 1);
  EXPECT_GE(modbus.count(sim::kCountModbusRead), 1);
  EXPECT_EQ(modbus.count(sim::kCountModbusCoil), 0);

  const std::vector<ReportRecord> report = Report();
  ASSERT_EQ(report.size(), 3u);
  const char* const tags[] = {"Насос-1", "Насос-2", "Счётчик"};
  const int32_t addresses[] = {5, 1000, 42};
  for (std::size_t i = 0; i < report.size(); ++i) {
    SCOPED_TRACE(tags[i]);
    EXPECT_EQ(report[i].tag, tags[i]);
    EXPECT_EQ(report[i].target.address, addresses[i]);
    EXPECT_EQ(report[i].outcome, RowOutcome::kDone);
    EXPECT_EQ(report[i].device, "KS4T");
    EXPECT_EQ(report[i].version, sim::kFactoryVersion);
    EXPECT_TRUE(std::regex_match(report[i].time,
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
        << report[i].time;
  }
  EXPECT_EQ(report[2].target.proto, 2);
  EXPECT_EQ(report[2].target.stopbits, 2);
  const std::string text = ReadText(File("report.csv"));
  EXPECT_EQ(text.rfind("\xEF\xBB\xBFkv4t commission report,1\r\n", 0), 0u) << text;

  // Started again with the same plan and report: nothing left to do, nothing sent.
  const auto requests = modbus.requests;
  const Kv4tRun again = Run({});
  EXPECT_EQ(again.code, kDone) << again.err;
  std::size_t skipped = 0;
  for (std::size_t at = 0; (at = again.out.find("уже выполнено", at)) != std::string::npos; ++at)
    ++skipped;
  EXPECT_EQ(skipped, 3u) << again.out;
  EXPECT_NE(again.out.find("итог: выполнено 3 из 3"), std::string::npos) << again.out;
  modbus = converter->state();
  EXPECT_EQ(modbus.requests, requests);
  EXPECT_EQ(modbus.protocol, sim::Protocol::modbus_rtu);
  EXPECT_EQ(ReadText(File("report.csv")), text);
}

TEST_F(Commission, AcceptsASemicolonPlanInWindows1251) {
  WriteFile("plan.csv", Utf8ToCp1251("tag;address;baud\r\nНасос №1;7;19200\r\n"));
  Connect();
  const Kv4tRun run = Run({});
  ASSERT_EQ(run.code, kDone) << run.out << run.err;
  EXPECT_NE(run.out.find("1 из 1: Насос №1"), std::string::npos) << run.out;
  EXPECT_EQ(converter->state().address, 7);
  // The report in UTF-8, with the plan's separator.
  EXPECT_NE(ReadText(File("report.csv")).find("\r\nНасос №1;7;8;19200;8;none;1;ravik;2;KS4T;"),
            std::string::npos);
}

// Refused before anything is sent: the converter hears nothing at all.
struct RefusedCase {
  const char* name;
  std::string plan;
  std::vector<std::string> args;
  const char* message;       // part of standard error
  std::string report = "";   // the report there before the run
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
class CommissionRefused : public Commission, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(CommissionRefused, ExitsWithTwoAndSendsNothing) {
  const RefusedCase& c = GetParam();
  WriteFile("plan.csv", c.plan);
  if (!c.report.empty()) WriteFile("report.csv", c.report);
  Connect();
  const Kv4tRun run = Run(c.args);
  EXPECT_EQ(run.code, kUsage) << run.out << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  const sim::State state = converter->state();
  EXPECT_TRUE(state.requests.empty());
  EXPECT_EQ(state.ignored_bytes + state.ignored_frames + state.garbled_frames, 0);
  if (c.report.empty())
    EXPECT_FALSE(std::filesystem::exists(File("report.csv")));
  else
    EXPECT_EQ(ReadText(File("report.csv")), c.report);
}

std::string ReportOf(const char* tag, int32_t address) {
  PortSettings target = FactoryTarget();
  target.address = address;
  return WriteReport({{.tag = tag, .target = target, .outcome = RowOutcome::kDone}}, ',');
}

const RefusedCase kRefused[] = {
    {"DuplicateAddress", "tag,address\nA,5\nB,6\nC,5\n", {}, "plan.csv, строка 4: адрес 5 уже есть в строке 2"},
    {"Address300Of8Bits", "tag,address,alen\nA,300,8\n", {},
     "plan.csv, строка 2: Недопустимое значение сетевого адреса: 300\n"
     "правильное значение при данном типе адресации от 0 до 254"},
    {"ReportOfAnotherPlan", "tag,address\nA,5\n", {}, "report.csv, строка 3: метка \"A\": в отчёте",
     ReportOf("A", 6)},
    {"LinkSettingsGiven", "tag,address\nA,5\n", {"--baud", "19200"}, "--baud"},
};
INSTANTIATE_TEST_SUITE_P(Cases, CommissionRefused, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

// A script has no one to answer a prompt.
TEST_F(Commission, WithoutATerminalNeedsWait) {
  WriteFile("plan.csv", "tag,address\nA,5\n");
  Connect();
  const Kv4tRun run = RunKv4t({"--port", Line(), "commission", File("plan.csv")});
  EXPECT_EQ(run.code, kUsage);
  EXPECT_NE(run.err.find("--wait"), std::string::npos) << run.err;
  EXPECT_TRUE(converter->state().requests.empty());
}

// The first converter takes its Modbus settings and "APLY", then answers no
// register read there; what follows is the option's.
struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  int code;
  RowOutcome modbus_row;
  std::optional<RowOutcome> next_row;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
class CommissionFailure : public Commission, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CommissionFailure, IsReportedAndTheRunGoesOnAsChosen) {
  const FailureCase& c = GetParam();
  WriteFile("plan.csv", "tag,address,protocol\nM,42,rtu\nR,5,\n");
  sim::Options deaf;
  deaf.faults.no_answer = {std::string(sim::kCountModbusRead)};
  Connect(deaf);
  std::vector<Step> steps;
  if (c.args.back() != "stop") steps.push_back(After("M", RowOutcome::kFailed));
  if (c.args.back() == "1") steps.push_back(After("M", RowOutcome::kDone));  // retried
  const Kv4tRun run = Run(c.args, std::move(steps));
  EXPECT_EQ(run.code, c.code) << run.out << run.err;
  EXPECT_NE(run.err.find("1 из 2: M: преобразователь не отвечает с новыми настройками"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("--adaptor"), std::string::npos);

  const sim::State first = earlier.empty() ? converter->state() : earlier.front();
  EXPECT_EQ(first.protocol, sim::Protocol::modbus_rtu);
  EXPECT_EQ(first.count(sim::kCountModbusCoil), 0);
  const std::vector<ReportRecord> report = Report();
  ASSERT_EQ(report.size(), c.next_row ? 2u : 1u);
  EXPECT_EQ(report[0].tag, "M");
  EXPECT_EQ(report[0].outcome, c.modbus_row);
  if (c.modbus_row == RowOutcome::kFailed) {
    EXPECT_NE(report[0].message.find("не отвечает с новыми настройками"), std::string::npos);
  }
  if (c.next_row) {
    EXPECT_EQ(report[1].outcome, *c.next_row);
  }
}

const FailureCase kFailures[] = {
    {"Skip", {"--on-failure", "skip"}, kNoAnswer, RowOutcome::kFailed, RowOutcome::kDone},
    {"Stop", {"--on-failure", "stop"}, kNoAnswer, RowOutcome::kFailed, std::nullopt},
    // Retried with the next converter connected in its place.
    {"Retry", {"--on-failure", "retry", "--retries", "1"}, kDone, RowOutcome::kDone, RowOutcome::kDone},
};
INSTANTIATE_TEST_SUITE_P(Cases, CommissionFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// A row that failed is done again by the next run of the same report.
TEST_F(Commission, RerunDoesTheFailedRowAgain) {
  WriteFile("plan.csv", "tag,address,protocol\nM,42,rtu\nR,5,\n");
  sim::Options deaf;
  deaf.faults.no_answer = {std::string(sim::kCountModbusRead)};
  Connect(deaf);
  ASSERT_EQ(Run({}).code, kNoAnswer);
  ASSERT_TRUE(Reported("M", RowOutcome::kFailed));
  Connect();
  const Kv4tRun again = Run({}, {After("M", RowOutcome::kDone)});
  EXPECT_EQ(again.code, kDone) << again.out << again.err;
  EXPECT_TRUE(Reported("R", RowOutcome::kDone));
  EXPECT_EQ(earlier.back().count(sim::kParamApply), 1);
  EXPECT_EQ(earlier.back().protocol, sim::Protocol::modbus_rtu);
}

// Ctrl-C once the third converter's first setting has gone out: its write, "APLY"
// and the check at its new settings are finished and recorded before the run ends.
TEST_F(Commission, CtrlCDuringTheThirdWriteFinishesThatRowFirst) {
  WriteFile("plan.csv", kThreeRows);
  Connect();
  const Kv4tRun run = Run({}, {After("Насос-1", RowOutcome::kDone), After("Насос-2", RowOutcome::kDone),
                               Interrupt([this] { return converter->request_count(sim::kParamBaud) >= 1; })});
  EXPECT_EQ(run.code, kInterrupted) << run.out << run.err;
  EXPECT_NE(run.err.find("прервано"), std::string::npos) << run.err;
  const sim::State third = converter->state();
  EXPECT_EQ(third.count(sim::kParamApply), 1);
  EXPECT_EQ(third.protocol, sim::Protocol::modbus_rtu);
  EXPECT_GE(third.count(sim::kCountModbusRead), 1);
  const std::vector<ReportRecord> report = Report();
  ASSERT_EQ(report.size(), 3u);
  for (const ReportRecord& r : report) EXPECT_EQ(r.outcome, RowOutcome::kDone) << r.tag;
}

// Ctrl-C while waiting for a converter: the run ends at once, the row unrecorded.
TEST_F(Commission, CtrlCWhileWaitingEndsAtOnce) {
  WriteFile("plan.csv", "tag,address\nA,5\n");
  sim::Options silent;
  silent.faults.silent = true;
  Connect(silent);
  const Kv4tRun run = Run({}, {Interrupt([this] { return converter->request_count(sim::kParamDev) >= 2; })});
  EXPECT_EQ(run.code, kInterrupted) << run.out << run.err;
  EXPECT_TRUE(Report().empty());
  EXPECT_TRUE(std::filesystem::exists(File("report.csv")));
  EXPECT_EQ(converter->request_count(sim::kParamBaud), 0);
}

// On a terminal: "n из N", the row and a prompt before each converter; the answers
// typed there. kv4t runs with a pseudo-terminal as its controlling terminal, so
// that Ctrl-C typed there reaches it as it would from a keyboard.
struct TerminalRun {
  int code = -1;
  std::string text;  // all the terminal showed
};

// Each answer is typed once the terminal has shown its prompt text since the last.
TerminalRun RunOnTerminal(const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& dialogue) {
  TerminalRun run;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return run;
  const std::string slave_path = ptsname(master);
  std::vector<std::string> argv_text = {KV4T_PROGRAM};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int slave = ::open(slave_path.c_str(), O_RDWR);
    ioctl(slave, TIOCSCTTY, 0);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(slave, fd);
    execv(argv[0], argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::size_t step = 0, seen_from = 0;
  int status = 0;
  for (bool exited = false; !exited;) {
    exited = waitpid(pid, &status, WNOHANG) == pid;
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, exited ? 0 : 20) > 0) {
      char buffer[4096];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      run.text.append(buffer, static_cast<std::size_t>(n));
    }
    if (step < dialogue.size() && run.text.find(dialogue[step].first, seen_from) != std::string::npos) {
      seen_from = run.text.size();
      const std::string& answer = dialogue[step++].second;
      (void)!write(master, answer.data(), answer.size());
    }
    if (!exited && std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "kv4t still running on the terminal after 60 s:\n" << run.text;
      kill(pid, SIGKILL);
    }
  }
  close(master);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  EXPECT_EQ(step, dialogue.size()) << run.text;
  return run;
}

struct PromptCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> dialogue;
  int code;
  std::vector<RowOutcome> report;  // the rows reported, in turn
};
void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.name; }
class CommissionPrompt : public Commission, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(CommissionPrompt, AsksBeforeEachConverter) {
  const PromptCase& c = GetParam();
  WriteFile("plan.csv", "tag,address\nA,5\nB,6\n");
  Connect();
  const TerminalRun run = RunOnTerminal(
      {"--port", Line(), "commission", File("plan.csv"), "--report", File("report.csv")}, c.dialogue);
  EXPECT_EQ(run.code, c.code) << run.text;
  EXPECT_NE(run.text.find("1 из 2: A — 9600 8-n-1, адрес 5"), std::string::npos) << run.text;
  std::vector<RowOutcome> outcomes;
  for (const ReportRecord& r : Report()) outcomes.push_back(r.outcome);
  EXPECT_EQ(outcomes, c.report);
  // Nothing was written but what the answers asked for.
  const bool written = !c.report.empty() && c.report.front() == RowOutcome::kDone;
  EXPECT_EQ(converter->request_count(sim::kParamApply), written ? 1 : 0);
}

constexpr const char kPromptA[] = "для «A» с заводскими настройками и нажмите Enter";
constexpr const char kPromptB[] = "для «B» с заводскими настройками";
const PromptCase kPrompts[] = {
    {"EnterThenQuit", {{kPromptA, "\n"}, {kPromptB, "q\n"}}, kNoAnswer, {RowOutcome::kDone}},
    {"SkipThenQuit", {{kPromptA, "s\n"}, {kPromptB, "q\n"}}, kNoAnswer, {RowOutcome::kSkipped}},
    {"CtrlC", {{kPromptA, "\x03"}}, kInterrupted, {}},
};
INSTANTIATE_TEST_SUITE_P(Cases, CommissionPrompt, ::testing::ValuesIn(kPrompts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
