// The serial channel against the simulated converter over a pseudo-terminal:
// time per transaction and what is left of it once the wire time and the waits
// the channel is built to make are taken off (the overhead), for RAVIK and Modbus
// RTU at 9600 and 115200 baud. The CPU column is the calling thread's CPU time per
// transaction (the channel busy-waits on the counter while a frame is on the wire).
//
// A pseudo-terminal carries bytes at once, so the answer is already waiting when the
// channel's 50 ms pause after transmission ends: the channel's own waits are the
// frame time of the request (its characters plus one) and that pause. The turnaround
// is left at 0.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "link/serio.h"
#include "sim/sim.h"

namespace {

namespace sim = kv4t::sim;
using bytes = std::vector<uint8_t>;

void transaction(benchmark::State& state, bool rtu, int baud) {
  sim::Options options;
  options.line.baud = baud;
  options.delay_ms = 0;
  if (rtu) options.protocol = sim::Protocol::modbus_rtu;
  sim::Simulator converter(options);
  std::string error;
  if (!converter.start(&error)) {
    state.SkipWithError(("simulator: " + error).c_str());
    return;
  }
  serio channel;
  const std::string& path = converter.slave_path();
  if (!channel.open(std::wstring(path.begin(), path.end())) ||
      !channel.set_params(baud, 8, 0, 0)) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  ravik_codec ravik;
  modbus_rtu_codec modbus;
  bytes request;
  if (rtu) {
    modbus_request read;
    read.set_function(3);
    read.set_unit(sim::kFactoryAddress);
    read.set_range(0, 8);
    read.build(request, -1);
    channel.codec = &modbus;
  } else {
    ravik_make_request(request, true, false, sim::kFactoryAddress, ravik_hash("dev", nullptr));
    channel.codec = &ravik;
  }
  bytes frame;
  channel.codec->encode(request, frame);
  const double char_us = 10.0 * 1e6 / baud;
  const double waits_us = static_cast<double>(frame.size() + 1) * char_us + 50000.0;

  bytes answer;
  double total_us = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = channel.transact(request, answer, true);
    const auto t1 = std::chrono::steady_clock::now();
    if (!ok) {
      state.SkipWithError(("transaction failed, status " + std::to_string(channel.status())).c_str());
      break;
    }
    total_us += std::chrono::duration<double, std::micro>(t1 - t0).count();
  }
  const double n = static_cast<double>(state.iterations());
  if (n > 0) {
    state.counters["waits_us"] = waits_us;
    state.counters["overhead_us"] = total_us / n - waits_us;
  }
}

}  // namespace

BENCHMARK_CAPTURE(transaction, ravik_9600, false, 9600)
    ->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK_CAPTURE(transaction, ravik_115200, false, 115200)
    ->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK_CAPTURE(transaction, modbus_rtu_9600, true, 9600)
    ->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK_CAPTURE(transaction, modbus_rtu_115200, true, 115200)
    ->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(40);

BENCHMARK_MAIN();
