// The line test's procedure without a window, against the simulated converter:
// how far it comes, the protocol it writes, the converter left in (or returned
// to) its own protocol, the port closed and the link set as it was. The page's
// and kv4t's tests run the whole register dump; these end before it or in it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "device/converter_device.h"
#include "device/line_test.h"
#include "sim/sim.h"

namespace {

namespace sim = kv4t::sim;

// Records what the procedure shows; asked to stop once the dump has begun when
// stop_in_dump is set. The pseudo-terminal is no COM port of the computer: a
// port is there when it has a name.
class RecordingHooks : public LineTestHooks {
 public:
  void Append(const std::string& text) override { protocol += Cp1251ToUtf8(text); }
  void Status(const std::string& text) override {
    if (!text.empty()) ++statuses;
  }
  bool StopRequested() override { return stop_in_dump && statuses > 0; }
  bool PortPresent(const std::string& port) override { return !port.empty(); }

  std::string protocol;  // UTF-8
  int statuses = 0;
  bool stop_in_dump = false;
};

struct Case {
  const char* name;
  const char* port;  // "@SIM" for the converter's pseudo-terminal
  sim::Options options;
  sim::Faults faults;
  bool stop_in_dump;
  LineTestOutcome outcome;
  std::vector<const char*> lines;  // the protocol's lines up to the end line
  const char* end;
  bool switched;  // the converter was switched to Modbus RTU (and back)
};

sim::Options Device(const char* name) {
  sim::Options options;
  options.device = name;
  return options;
}

sim::Faults NoAnswer(std::vector<std::string> names) {
  sim::Faults faults;
  faults.no_answer = std::move(names);
  return faults;
}

std::string Joined(const std::vector<const char*>& lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

TEST(LineTestProcedure, OutcomesBeforeAndInTheDump) {
  Catalogue().AddBuiltInWhenEmpty();
  const char* const kStarted = "Тестирование началось...";
  const char* const kOpened = "успешное открытие порта \"@SIM\"";
  const char* const kFound = "по адресу 16 подключен KV4T (KV4T-1.3)";
  const char* const kLoop = "параметры соединения по токовой петле: 9600 8-n-2";
  const char* const kInstrument = "подключенный прибор: ZR-40 (ZR40A12)";
  const char* const kDone = "Тестирование завершено";
  const Case cases[] = {
      {"no port", "", {}, {}, false, LineTestOutcome::kNoPort,
       {kStarted, "ошибка: рабочий порт не выбран"}, kDone, false},
      {"port that does not open", "/nonexistent/kv4t-line", {}, {}, false,
       LineTestOutcome::kOpenFailed,
       {kStarted, "ошибка открытия порта \"/nonexistent/kv4t-line\""}, kDone, false},
      // Not our converter: its protocol is left alone.
      {"another device", "@SIM", Device("KS4"), {}, false, LineTestOutcome::kNotKV4T,
       {kStarted, kOpened, "подключенный прибор не является KV4T (KS4)"}, kDone, false},
      // After the identification the converter is always woken back to its
      // protocol, here unanswered in RAVIK (the wake-up's time-outs, some 9 s).
      {"loop instrument unread", "@SIM", {}, NoAnswer({std::string(sim::kParamLoopDev)}), false,
       LineTestOutcome::kLoopFailed,
       {kStarted, kOpened, kFound, "ошибка чтения конфигурации прибора"}, kDone, false},
      // Stopped before the first register: no row, no summary.
      {"stopped in the dump", "@SIM", {}, {}, true, LineTestOutcome::kStopped,
       {kStarted, kOpened, kFound, kLoop, kInstrument}, "Тестирование прервано", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Simulator simulator(c.options);
    std::string error;
    ASSERT_TRUE(simulator.start(&error)) << error;
    simulator.set_faults(c.faults);
    ConverterDevice device;
    const std::string sim_port = simulator.slave_path();
    std::string port = c.port;
    if (port == "@SIM") port = sim_port;
    device.LinkSet().port = port;
    const PortSettings before = device.LinkSet();

    RecordingHooks hooks;
    hooks.stop_in_dump = c.stop_in_dump;
    EXPECT_EQ(RunLineTest(device, hooks), c.outcome);

    std::string expected = Joined(c.lines) + c.end + "\r\n";
    for (std::size_t at; (at = expected.find("@SIM")) != std::string::npos;)
      expected.replace(at, 4, sim_port);
    EXPECT_EQ(hooks.protocol, expected);
    // The identity read into the link set is gone with the kept copy.
    EXPECT_EQ(device.LinkSet(), before);
    EXPECT_FALSE(device.connected);
    const sim::State state = simulator.state();
    EXPECT_EQ(state.protocol, sim::Protocol::ravik);
    EXPECT_EQ(state.count(sim::kParamApply) > 0, c.switched);
    EXPECT_EQ(state.count(sim::kCountModbusRead), 0);
    simulator.stop();
  }
}

}  // namespace
