// The line test against the simulated converter at 9600 and 115200 baud, run by the
// test page as the user runs it (start, worker, protocol), beside the time its
// exchanges must take: each request's characters on the wire (plus the one the
// channel adds), the channel's turnaround after the previous answer and its
// 50 ms pause before reading an answer, and the converter's answer delay where it
// outlasts that pause. "model_ms" is that floor; "over_pct" is how far real time is
// above it (scheduling, the pseudo-terminal, the page's own work).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/resource_ids.h"
#include "device/converter_device.h"
#include "link/serio.h"
#include "pages/dlg_test.h"
#include "pages/page_sheet.h"
#include "sim/sim.h"
#include "tests/support/ports_folder.h"

namespace {

namespace sim = kv4t::sim;

// The turnaround, with the 400 us margin the channel adds to every interval it
// converts into counter ticks.
constexpr double kTurnaroundMs = 10.4;
constexpr double kReadPauseMs = 50;

// A RAVIK frame: '#', two characters per payload byte, four check characters, CR.
constexpr int RavikChars(int payload) { return 2 * payload + 6; }
// Modbus RTU: read two holding registers (8 bytes, answer 9), write the wake-up coil
// (8 bytes, answered by its echo).
constexpr int kReadRequest = 8;
constexpr int kReadAnswer = 9;
constexpr int kCoilRequest = 8;
constexpr int kCoilAnswer = 8;

struct Floor {
  double char_ms;
  double total = 0;
  double scan = 0;  // the register reads alone
  // One answered exchange; `turnaround` false when the previous answer ended long
  // enough ago (the first request, or the first one after "APLY").
  void Exchange(int request, int answer, bool turnaround = true) {
    total += (turnaround ? kTurnaroundMs : 0) + (request + 1) * char_ms + kReadPauseMs +
             std::max(0.0, sim::kFactoryDelayMs + answer * char_ms - kReadPauseMs);
  }
  void RavikRead(int data, bool turnaround = true) {
    Exchange(RavikChars(4), RavikChars(4 + data), turnaround);
  }
  // "APLY" goes out without an answer.
  void Apply() { total += kTurnaroundMs + (RavikChars(5) + 1) * char_ms; }
};

// The whole test on a converter at its factory settings.
Floor LineTestFloor(int baud) {
  Floor f{10 * 1000.0 / baud};
  f.RavikRead(static_cast<int>(sim::kFactoryDevice.size()), false);  // "dev"
  f.RavikRead(static_cast<int>(sim::kFactoryVersion.size()));        // "ver"
  f.RavikRead(static_cast<int>(sim::kFactoryLoopDevice.size()));     // "dEv.L"
  f.RavikRead(static_cast<int>(sim::kFactoryLoopVersion.size()));    // "vEr.L"
  for (int i = 0; i < 5; ++i) f.RavikRead(1);                        // "BP.L" ... "FrEq"
  f.Exchange(RavikChars(5), RavikChars(5));                          // "PrOt" := Modbus RTU
  f.Apply();
  const double before_scan = f.total;
  for (int reg = 0; reg < 256; ++reg) f.Exchange(kReadRequest, kReadAnswer, reg > 0);
  f.scan = f.total - before_scan;
  f.Exchange(kCoilRequest, kCoilAnswer);  // the wake-up: back to RAVIK
  return f;
}

// Controls that keep nothing: the page's work without a window system.
class QuietControls : public ControlLayer {
 public:
  void ResetItems(int) override {}
  int AddItem(int, const std::string&, intptr_t) override { return 0; }
  int ItemCount(int) override { return 0; }
  std::string ItemText(int, int) override { return {}; }
  intptr_t ItemData(int, int) override { return -1; }
  int GetSelection(int) override { return -1; }
  void SetSelection(int, int) override {}
  int SelectByPrefix(int, const std::string&) override { return -1; }
  std::string GetText(int) override { return {}; }
  // The status line shows the register about to be read and is emptied after the
  // scan: when each read starts and when the scan ends, as the worker sees them.
  void SetText(int id, const std::string& text) override {
    if (id != IDC_TEST_STATUS) return;
    const auto now = std::chrono::steady_clock::now();
    if (!text.empty()) {
      if (!scanning) scan_start = now;
      scanning = true;
      if (previous_read.time_since_epoch().count() != 0)
        cycles_ms.push_back(std::chrono::duration<double, std::milli>(now - previous_read).count());
      previous_read = now;
    } else if (scanning) {
      scanning = false;
      scan_ms += std::chrono::duration<double, std::milli>(now - scan_start).count();
      previous_read = {};
    }
  }
  void SetLogText(int, const std::string& text) override { log = text; }
  bool IsEnabled(int) override { return true; }
  void Enable(int, bool) override {}
  void Focus(int) override {}
  void Redraw(int) override {}
  void SetSpinRange(int, int, int) override {}
  void SetSpinPos(int, int) override {}
  int GetSpinPos(int) override { return 0; }
  void SetTooltip(int, int) override {}
  int ShowMessage(const std::string&, const std::string&, unsigned) override { return 1; }
  void Beep(unsigned) override {}
  void SetCursor(Cursor) override {}
  void NotifySheet(PageNotification) override {}
  std::string log;
  bool scanning = false;
  std::chrono::steady_clock::time_point scan_start;
  std::chrono::steady_clock::time_point previous_read;
  double scan_ms = 0;              // summed over the tests run
  std::vector<double> cycles_ms;  // from one register's read to the next one's
};

class QuietSheet : public PageSheet {
 public:
  bool ApplyActivePage() override { return false; }
  int CheckLink() override { return 1; }
  WindowHandle Window() override { return nullptr; }
  void PageChanged() override {}
};

// The converter reached as COM203 through a ports folder of its own, removed when
// the program ends; the computer's port list is made once, while the converter is
// linked.
constexpr int kPortNumber = 203;

const PortsFolder& Ports() {
  static const PortsFolder folder("kv4t-bench-ports");
  return folder;
}

void BM_LineTest(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  Catalogue().AddBuiltInWhenEmpty();
  sim::Options options;
  options.line.baud = baud;
  std::unique_ptr<sim::Simulator> converter;
  std::string error;
  if (!Ports().StartSimulator(converter, kPortNumber, options, &error))
    return state.SkipWithError(error.c_str());
  std::vector<int> ports;
  list_serial_ports(ports);

  ConverterDevice device;
  device.LinkSet().port = "COM" + std::to_string(kPortNumber);
  device.LinkSet().baud = baud;
  QuietControls controls;
  QuietSheet sheet;
  CDlgTest page;
  page.SetDevice(&device);
  page.Attach(&controls, &sheet);
  page.OnInitDialog();
  double measured_ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    page.OnControl(IDC_TEST_BUTTON, ControlEvent::clicked);
    page.WaitForWorker();
    measured_ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  if (controls.log.find("10-13: 4B10") == std::string::npos)
    return state.SkipWithError(("the test did not scan: " + controls.log).c_str());
  const Floor floor = LineTestFloor(baud);
  const double tests = static_cast<double>(state.iterations());
  const double per_test_ms = measured_ms / tests;
  const double scan_ms = controls.scan_ms / tests;
  state.counters["model_ms"] = floor.total;
  state.counters["over_pct"] = 100.0 * (per_test_ms - floor.total) / floor.total;
  state.counters["scan_ms"] = scan_ms;
  state.counters["scan_model_ms"] = floor.scan;
  // What a register read costs above its floor, in microseconds: on average over
  // the scan, and for the median read (less touched by a busy machine's scheduler).
  state.counters["read_over_us"] = 1000.0 * (scan_ms - floor.scan) / 256;
  std::vector<double> cycles = controls.cycles_ms;
  if (!cycles.empty()) {
    std::nth_element(cycles.begin(), cycles.begin() + cycles.size() / 2, cycles.end());
    Floor one{floor.char_ms};
    one.Exchange(kReadRequest, kReadAnswer);
    state.counters["read_over_med_us"] = 1000.0 * (cycles[cycles.size() / 2] - one.total);
  }
}
BENCHMARK(BM_LineTest)->Arg(9600)->Arg(115200)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
