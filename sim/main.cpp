// kv4t-sim: a simulated KV4T converter on a pseudo-terminal. See --help.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/options.h"
#include "sim/sim.h"

int main(int argc, char** argv) {
  using namespace kv4t::sim;
  Options options;
  options.log = stderr;
  std::string message;
  const ParseOutcome outcome = parse_options(argc, argv, options, &message);
  if (outcome == ParseOutcome::help) {
    std::fputs(message.c_str(), stdout);
    return 0;
  }
  if (outcome == ParseOutcome::error) {
    std::fprintf(stderr, "kv4t-sim: %s\n(kv4t-sim --help lists the options)\n", message.c_str());
    return 2;
  }
  // Signals are taken by sigwait below, so block them before the thread starts.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Simulator sim(options);
  std::string error;
  if (!sim.start(&error)) {
    std::fprintf(stderr, "kv4t-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", sim.slave_path().c_str());
  std::fflush(stdout);
  if (options.log) {
    const std::string adaptor = std::string(options.echo ? ", echo" : "") +
                                (options.latency_ms > 0 ? ", latency " + std::to_string(options.latency_ms) + " ms" : "");
    const std::string where = sim.slave_path() + (options.link_path.empty() ? "" : " linked as " + options.link_path);
    auto settings = [](const State& s) {
      char buf[160];
      std::snprintf(buf, sizeof buf, "%d %d-%c-%d, address %d (%d-bit), %s, answer delay %d ms", s.line.baud, s.line.bits,
                    "NOE"[static_cast<int>(s.line.parity)], s.line.stop_bits, s.address, s.alen, protocol_name(s.protocol),
                    s.delay_ms);
      return std::string(buf);
    };
    if (options.bus.empty()) {
      std::fprintf(stderr, "kv4t-sim: converter on %s, %s%s\n", where.c_str(), settings(sim.state()).c_str(), adaptor.c_str());
    } else {
      std::fprintf(stderr, "kv4t-sim: %zu converters on %s%s\n", sim.converter_count(), where.c_str(), adaptor.c_str());
      for (std::size_t i = 0; i < sim.converter_count(); ++i)
        std::fprintf(stderr, "kv4t-sim[%zu]: %s\n", i + 1, settings(sim.state(i)).c_str());
    }
  }
  int sig = 0;
  sigwait(&stop_signals, &sig);
  if (options.log) std::fprintf(stderr, "kv4t-sim: stopping (%s)\n", strsignal(sig));
  sim.stop();
  return 0;
}
