// Device operations against the simulated converter at 9600 baud, each beside the
// time its exchanges must take on the wire: the frames' character times, the
// channel's 10 ms turnaround and 50 ms pause before reading an answer, the
// converter's answer delay and the answer times of unanswered requests, and the
// 1 s pause of the wake-up. The counter "model_ms" is that sum; real time above it
// is the program's own overhead (scheduling, the pseudo-terminal).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "device/converter_device.h"
#include "sim/sim.h"

namespace {

namespace sim = kv4t::sim;

constexpr double kBaud = 9600;
constexpr double kCharMs = 10 * 1000.0 / kBaud;  // 8 data bits, no parity, one stop bit
constexpr double kTurnaroundMs = 10;
constexpr double kReadPauseMs = 50;
constexpr double kRavikAnswerMs = 70;
constexpr double kModbusAnswerMs = 1000;
constexpr double kPortSlackMs = 10;
constexpr double kWakePauseMs = 1000;

// A RAVIK frame: '#', two characters per payload byte, four check characters, CR.
constexpr int RavikChars(int payload) { return 2 * payload + 6; }

// One transaction: turnaround, the request on the wire (plus the one character the
// channel adds), then either the answer or the time the channel waits for it.
double Transaction(int request_chars, int answer_chars, bool answered, double answer_ms,
                   double delay_ms = sim::kFactoryDelayMs) {
  double t = kTurnaroundMs + (request_chars + 1) * kCharMs + kReadPauseMs;
  if (answered)
    t += std::max(0.0, delay_ms + answer_chars * kCharMs - kReadPauseMs);
  else
    t += answer_ms + kPortSlackMs;
  return t;
}
double RavikRead(int answer_data) {
  return Transaction(RavikChars(4), RavikChars(4 + answer_data), true, kRavikAnswerMs);
}
double RavikWrite(int data) {
  return Transaction(RavikChars(4 + data), RavikChars(4 + data), true, kRavikAnswerMs);
}
double RavikUnanswered(int data) {
  return Transaction(RavikChars(4 + data), 0, false, kRavikAnswerMs);
}
double Apply() { return kTurnaroundMs + (RavikChars(5) + 1) * kCharMs; }
// Write single coil: 8 bytes in RTU; ':' + 12 hexadecimal digits + LRC + CR LF in ASCII.
double CoilUnanswered(bool ascii) {
  return Transaction(ascii ? 17 : 8, 0, false, kModbusAnswerMs);
}

struct Bench {
  explicit Bench(sim::Options options = {}) : simulator(std::move(options)) {
    Catalogue().AddBuiltInWhenEmpty();
    if (!simulator.start(&error)) return;
    device = std::make_unique<ConverterDevice>();
    device->LinkSet().port = simulator.slave_path();
    device->LinkSet().adaptor = 0;
  }
  ~Bench() {
    device.reset();
    simulator.stop();
  }
  sim::Simulator simulator;
  std::string error;
  std::unique_ptr<ConverterDevice> device;
};

void Report(benchmark::State& state, double model_ms) {
  state.counters["model_ms"] = model_ms;
}

void BM_ConnectSuccess(benchmark::State& state) {
  Bench b;
  if (!b.device) return state.SkipWithError(b.error.c_str());
  for (auto _ : state)
    if (!b.device->Connect()) return state.SkipWithError("Connect failed");
  // "dev" answered with "KS4T", "ver" with the factory version.
  Report(state, RavikRead(4) + RavikRead(static_cast<int>(sim::kFactoryVersion.size())));
}
BENCHMARK(BM_ConnectSuccess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_ConnectNoAnswer(benchmark::State& state) {
  sim::Options options;
  options.faults.silent = true;
  Bench b(options);
  if (!b.device) return state.SkipWithError(b.error.c_str());
  for (auto _ : state)
    if (b.device->Connect()) return state.SkipWithError("Connect succeeded");
  Report(state, 8 * RavikUnanswered(0) + 4 * CoilUnanswered(false) + 4 * CoilUnanswered(true) +
                    kWakePauseMs);
}
BENCHMARK(BM_ConnectNoAnswer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// `operation` on the open port of a converter at its factory settings; false (the
// run skipped) when the converter cannot be reached or the operation fails.
template <typename Operation>
bool RunOnOpenPort(benchmark::State& state, Operation operation) {
  Bench b;
  if (!b.device || !b.device->OpenPort()) {
    state.SkipWithError("no converter");
    return false;
  }
  for (auto _ : state) {
    if (!operation(*b.device)) {
      state.SkipWithError("operation failed");
      return false;
    }
  }
  return true;
}

// The factory settings written again, so that "APLY" leaves the converter where it was.
void BM_WriteRs485Settings(benchmark::State& state) {
  if (!RunOnOpenPort(state, [](ConverterDevice& d) { return d.WriteRs485Settings(); }))
    return;
  // Eight one-byte values ("BPS" ... "PrOt"), then "APLY" without an answer.
  Report(state, 8 * RavikWrite(1) + Apply());
}
BENCHMARK(BM_WriteRs485Settings)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_ReadLoopSettings(benchmark::State& state) {
  if (!RunOnOpenPort(state, [](ConverterDevice& d) { return d.ReadLoopSettings(nullptr); }))
    return;
  // Two texts, then five one-byte values.
  Report(state, RavikRead(static_cast<int>(sim::kFactoryLoopDevice.size())) +
                    RavikRead(static_cast<int>(sim::kFactoryLoopVersion.size())) +
                    5 * RavikRead(1));
}
BENCHMARK(BM_ReadLoopSettings)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
