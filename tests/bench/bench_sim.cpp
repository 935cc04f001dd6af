// The simulated converter's own cost: decoding a request and building its answer
// (in memory), and the round trip through the pseudo-terminal with no answer delay
// (what the simulator adds to every transaction measured against it).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "sim/engine.h"
#include "sim/sim.h"
#include "sim/wire.h"

namespace {

using namespace kv4t::sim;

bytes request_for(Protocol p) {
  if (p == Protocol::ravik) {
    const std::uint16_t h = ravik_name_hash("dev");
    return ravik_frame({kFactoryAddress, 0x10, static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h & 0xFF)});
  }
  const bytes pdu = {kFactoryAddress, 3, 0x00, 0x10, 0x00, 0x02};
  return p == Protocol::modbus_rtu ? modbus_rtu_frame(pdu) : modbus_ascii_frame(pdu);
}

void BM_EngineRequest(benchmark::State& state) {
  const auto p = static_cast<Protocol>(state.range(0));
  Options o;
  o.protocol = p;
  Engine engine(o);
  const bytes req = request_for(p);
  std::vector<Reply> out;
  for (auto _ : state) {
    out.clear();
    engine.receive(req.data(), req.size(), 0, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(protocol_name(p));
}
BENCHMARK(BM_EngineRequest)->Arg(0)->Arg(2)->Arg(1);

void BM_PtyRoundTrip(benchmark::State& state) {
  const auto p = static_cast<Protocol>(state.range(0));
  Options o;
  o.protocol = p;
  o.delay_ms = 0;
  Simulator sim(o);
  std::string error;
  if (!sim.start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const int fd = open(sim.slave_path().c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  const bytes req = request_for(p);
  const std::size_t answer_size = p == Protocol::ravik ? 22 : p == Protocol::modbus_rtu ? 9 : 19;
  std::uint8_t buf[256];
  for (auto _ : state) {
    if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size())) state.SkipWithError("write");
    std::size_t got = 0;
    while (got < answer_size) {
      pollfd pf{fd, POLLIN, 0};
      if (poll(&pf, 1, 1000) <= 0) {
        state.SkipWithError("no answer");
        break;
      }
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
  }
  close(fd);
  state.SetLabel(protocol_name(p));
}
BENCHMARK(BM_PtyRoundTrip)->Arg(0)->Arg(2)->Arg(1)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
