// kv4t's bus scan and line statistics against the simulated converter.
//
// Scan: "kv4t scan" as the user runs it (the program, its JSON read back), beside
// its floor. The floor is reckoned from the line's facts alone: a probe nobody
// answers costs the request's time on the wire (its frame as the codec builds it,
// times one character's time at the probe's rate and frame), the latest moment a
// converter may begin its answer (the longest answer delay the converter takes
// and its turnaround), one character (the answer's first, which would show that
// one comes) and the adaptor's latency (the simulator's latency timer). Probes
// that were answered, with the reads that confirm them ("dev", "ver") and, for a
// converter found in Modbus, putting it back, are counted at the time the scan
// measured for them. "real_ms" is the scan's own time from its first probe to its
// end, "wall_ms" the whole program's; "over_pct" is real time above the floor.
// "load" is the machine's one-minute load average over the run (this machine has
// two cores that other work shares).
//
// Soak: "kv4t test --repeat 10000" at 115200 baud while the converter withholds
// 1 % of its answers at random (seeded): "losses" must equal the converter's own
// count of withheld answers, "rss_growth_kb" is the program's resident memory at
// the end over what it was after the first tenth of the run.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/scan.h"
#include "device/converter_device.h"
#include "device/settings_rules.h"
#include "link/modbus.h"
#include "link/ravik.h"
#include "sim/sim.h"
#include "tests/cli/kv4t_runner.h"

namespace {

namespace sim = kv4t::sim;

double LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

// The request's characters on the wire, as the codecs frame it.
std::size_t RequestChars(const ScanProbe& p) {
  std::vector<uint8_t> payload;
  std::vector<uint8_t> frame;
  if (p.proto == ToValue(Protocol::kRavik)) {
    ravik_make_request(payload, true, p.alen == 11, p.address, ravik_hash("dev", nullptr));
    ravik_codec().encode(payload, frame);
  } else {
    modbus_request coil;
    coil.set_function(5);
    coil.set_range(0xF0F0, 1);
    coil.build(payload, p.address);
    if (p.proto == ToValue(Protocol::kModbusRtu)) modbus_rtu_codec().encode(payload, frame);
    else modbus_ascii_codec().encode(payload, frame);
  }
  return frame.size();
}

// One unanswered probe at the line's facts.
double SilentFloorMs(const ScanProbe& p, int latency_ms) {
  const int bits = 1 + p.bytesize + (p.parity != 0 ? 1 : 0) + (p.stopbits == 2 ? 2 : 1);
  const double char_ms = 1000.0 * bits / p.baud;
  const double latest_start_ms =
      settings_rules::kMaxAnswerDelayMs + static_cast<double>(kConverterTurnaroundUs) / 1000;
  return static_cast<double>(RequestChars(p)) * char_ms + latest_start_ms + char_ms + latency_ms;
}

// An answered probe as the scan's JSON lists it.
ScanProbe ProbeOf(const nlohmann::json& j) {
  const std::string parity = j["parity"];
  const std::string protocol = j["protocol"];
  return {j["baud"].get<int32_t>(), j["bits"].get<int32_t>(),
          parity == "odd" ? 1 : parity == "even" ? 2 : 0, j["stop"].get<int>() == 2 ? 2 : 0,
          j["address"].get<int32_t>(), j["alen"].get<int32_t>(),
          protocol == "MODBUS-RTU"     ? ToValue(Protocol::kModbusRtu)
          : protocol == "MODBUS-ASCII" ? ToValue(Protocol::kModbusAscii)
                                       : ToValue(Protocol::kRavik)};
}

struct ScanCase {
  std::vector<sim::ConverterOptions> converters;
  int latency_ms;                 // the adaptor's, and kv4t's --latency when not 0
  std::vector<std::string> args;  // the scan's own options
  ScanPlan plan;                  // the same, for the walk through the probes
};

sim::ConverterOptions Converter(int baud, int address, sim::Protocol protocol = sim::Protocol::ravik) {
  sim::ConverterOptions c;
  c.line.baud = baud;
  c.address = address;
  c.protocol = protocol;
  return c;
}

void Scan(benchmark::State& state, const ScanCase& c) {
  LoadCatalogue();
  double floor_ms = 0, silent_ms = 0, answered_ms = 0, real_ms = 0, wall_ms = 0, load = 0;
  double probes = 0, answered = 0;
  for (auto _ : state) {
    sim::Options options;
    static_cast<sim::ConverterOptions&>(options) = c.converters.front();
    if (c.converters.size() > 1) options.bus = c.converters;
    options.latency_ms = c.latency_ms;
    sim::Simulator simulator(options);
    std::string error;
    if (!simulator.start(&error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    std::vector<std::string> args = {"--json", "--port", simulator.slave_path(), "scan"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.latency_ms) args.insert(args.end(), {"--latency", std::to_string(c.latency_ms)});
    const double load_before = LoadAverage();
    const Kv4tRun run = RunKv4t(args);
    load += (load_before + LoadAverage()) / 2;
    const nlohmann::json result = nlohmann::json::parse(run.out, nullptr, false);
    if (run.code != 0 || result.is_discarded() || result["found"].size() != c.converters.size()) {
      state.SkipWithError(("not found: " + run.out + run.err).c_str());
      return;
    }
    std::set<std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>> heard;
    for (const nlohmann::json& a : result["answers"]) {
      const ScanProbe p = ProbeOf(a);
      heard.insert({p.baud, p.bytesize, p.parity, p.stopbits, p.address, p.alen, p.proto});
      answered_ms += a["ms"].get<double>();
      ++answered;
    }
    const std::size_t made = result["probes"].get<std::size_t>();
    std::size_t n = 0;
    for (const ScanProbe& p : ScanOrder(ConverterDevice().LinkSet(), c.plan)) {
      if (n++ == made) break;
      if (!heard.count({p.baud, p.bytesize, p.parity, p.stopbits, p.address, p.alen, p.proto}))
        silent_ms += SilentFloorMs(p, c.latency_ms);
    }
    probes += static_cast<double>(made);
    real_ms += result["seconds"].get<double>() * 1000;
    wall_ms += run.seconds * 1000;
  }
  const double runs = static_cast<double>(state.iterations());
  floor_ms = (silent_ms + answered_ms) / runs;
  real_ms /= runs;
  state.counters["probes"] = probes / runs;
  state.counters["answered"] = answered / runs;
  state.counters["silent_floor_ms"] = silent_ms / runs;
  state.counters["answered_ms"] = answered_ms / runs;
  state.counters["floor_ms"] = floor_ms;
  state.counters["real_ms"] = real_ms;
  state.counters["wall_ms"] = wall_ms / runs;
  state.counters["over_pct"] = 100.0 * (real_ms - floor_ms) / floor_ms;
  state.counters["load"] = load / runs;
}

const ScanCase kFactory = {{Converter(9600, 16)}, 0, {}, {}};
const ScanCase kMoved = {{Converter(38400, 77)}, 0, {}, {}};
const ScanCase kModbus = {{Converter(19200, 9, sim::Protocol::modbus_rtu)}, 0, {"--modbus"}, {.modbus = true}};
const ScanCase kMovedLate = {{Converter(38400, 77)}, 16, {}, {}};
const ScanCase kModbusLate = {
    {Converter(19200, 9, sim::Protocol::modbus_rtu)}, 16, {"--modbus"}, {.modbus = true}};
// The bus of three, narrowed to its rate and frame and to the addresses around
// the converters, with the 11-bit twins of each.
const ScanCase kBus = {
    {Converter(19200, 5), Converter(19200, 77), Converter(19200, 9, sim::Protocol::modbus_rtu)},
    0,
    {"--all", "--modbus", "--rates", "19200", "--frames", "8-n-1", "--addresses", "0-10,40,72,77,616"},
    {.rates = {19200},
     .frames = {{8, 0, 0}},
     .addresses = {{0, 10}, {40, 40}, {72, 72}, {77, 77}, {616, 616}},
     .modbus = true}};

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

BENCHMARK_CAPTURE(Scan, factory, kFactory)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(Scan, moved_38400_77, kMoved)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Scan, modbus_rtu_19200_9, kModbus)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Scan, moved_38400_77_latency_16, kMovedLate)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(Scan, modbus_rtu_19200_9_latency_16, kModbusLate)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(Scan, bus_all_modbus_narrowed, kBus)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Soak)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
