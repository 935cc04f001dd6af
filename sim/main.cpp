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
  const State s = sim.state();
  if (options.log) std::fprintf(stderr, "kv4t-sim: converter on %s%s%s, %d %d-%c-%d, address %d (%d-bit), %s, answer delay %d ms\n",
               sim.slave_path().c_str(), options.link_path.empty() ? "" : " linked as ", options.link_path.c_str(),
               s.line.baud, s.line.bits, "NOE"[static_cast<int>(s.line.parity)], s.line.stop_bits, s.address, s.alen,
               protocol_name(s.protocol), s.delay_ms);
  int sig = 0;
  sigwait(&stop_signals, &sig);
  if (options.log) std::fprintf(stderr, "kv4t-sim: stopping (%s)\n", strsignal(sig));
  sim.stop();
  return 0;
}
