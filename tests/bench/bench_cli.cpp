// kv4t's bus scan and line statistics against the simulated converter.
//
// Scan: the whole scan as the user runs it, for a converter at the factory
// settings (found by the first probe) and for one moved to 38400 baud and address
// 77; "probes" is how many probes it takes to reach it and "floor_ms" those probes
// times the shortest time each may take on the line (the request's characters and
// the answer time the probe allows); "over_pct" is how far real time is above it.
//
// Soak: "kv4t test --repeat 10000" at 115200 baud while the converter withholds
// 1 % of its answers at random (seeded): "losses" must equal the converter's own
// count of withheld answers, "rss_growth_kb" is the program's resident memory at
// the end over what it was after the first tenth of the run.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <string>

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "cli/scan.h"
#include "sim/sim.h"
#include "tests/cli/kv4t_runner.h"

namespace {

namespace sim = kv4t::sim;

void Scan(benchmark::State& state, int baud, int address) {
  LoadCatalogue();
  sim::Options options;
  options.line.baud = baud;
  options.address = address;
  sim::Simulator simulator(options);
  std::string error;
  if (!simulator.start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  CommonArgs args;
  args.port = simulator.slave_path();
  args.quiet = true;

  // The probes up to the converter's, from the factory link settings the scan starts at.
  ConverterDevice device;
  std::size_t probes = 0;
  double floor_ms = 0;
  for (const ScanProbe& p : ScanOrder(device.LinkSet())) {
    ++probes;
    floor_ms += ProbeFloorUs(p) / 1000.0;
    if (p.baud == baud && p.bytesize == 8 && p.parity == 0 && p.stopbits == 0 &&
        p.address == address && p.alen == 8)
      break;
  }
  double real_ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (RunScan(args, ScanArgs{}) != kExitDone) state.SkipWithError("not found");
    real_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  real_ms /= static_cast<double>(state.iterations());
  state.counters["probes"] = static_cast<double>(probes);
  state.counters["floor_ms"] = floor_ms;
  state.counters["real_ms"] = real_ms;
  state.counters["over_pct"] = 100.0 * (real_ms - floor_ms) / floor_ms;
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

void Soak(benchmark::State& state) {
  constexpr int kRepeat = 10000;
  constexpr int kRegisters = 256;
  for (auto _ : state) {
    sim::Options options;
    options.line.baud = 115200;
    sim::Simulator simulator(options);
    std::string error;
    if (!simulator.start(&error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    // The losses begin once the protocol's register dump is over: from then on
    // only the statistics' identity reads are asked.
    bool losing = false;
    long rss_early = -1, rss_end = -1;
    const Kv4tRun run = RunKv4t(
        {"--json", "--port", simulator.slave_path(), "--baud", "115200", "test", "--repeat",
         std::to_string(kRepeat)},
        [&](pid_t pid) {
          if (!losing && simulator.request_count("modbus:3") >= kRegisters) {
            sim::Faults faults;
            faults.loss_percent = 1;
            faults.loss_seed = 2024;
            faults.only = {std::string(sim::kParamDev)};
            simulator.set_faults(faults);
            losing = true;
          }
          const long dev = simulator.request_count(sim::kParamDev);
          const long rss = ResidentKb(pid);
          if (rss > 0) {
            if (rss_early < 0 && dev > kRepeat / 10) rss_early = rss;
            rss_end = rss;
          }
          return false;
        });
    const nlohmann::json result = nlohmann::json::parse(run.out, nullptr, false);
    if (result.is_discarded() || !result.contains("repeat")) {
      state.SkipWithError("no statistics");
      return;
    }
    const nlohmann::json& repeat = result["repeat"];
    state.counters["requests"] = repeat["requests"].get<double>();
    state.counters["losses"] = repeat["losses"].get<double>();
    state.counters["injected"] = static_cast<double>(simulator.state().lost_answers);
    state.counters["check_errors"] = repeat["check_errors"].get<double>();
    state.counters["median_ms"] = repeat["answer_ms"]["median"].get<double>();
    state.counters["p95_ms"] = repeat["answer_ms"]["p95"].get<double>();
    state.counters["max_ms"] = repeat["answer_ms"]["max"].get<double>();
    state.counters["rss_growth_kb"] = static_cast<double>(rss_end - rss_early);
    state.counters["seconds"] = run.seconds;
  }
}

}  // namespace

BENCHMARK_CAPTURE(Scan, factory, 9600, 16)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Scan, moved_38400_77, 38400, 77)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Soak)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
