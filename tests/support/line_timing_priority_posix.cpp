// Linked into the test programs that keep a line's real timing against the
// simulated converter (natively): they run at a raised priority where the system
// allows it (root, or the CAP_SYS_NICE capability), and as before where it does not.
//
// On Windows the system raises a thread's priority when its serial I/O completes
// and gives the foreground window's process the longer time slices; Linux shares a
// loaded core evenly. Beside a build or any other busy program, an even share can
// hold the channel's reading thread away from the line past a frame's time-out of
// a few tens of milliseconds (the configurator's own, which the tests check), and
// the test would fail for the machine's load, not for the configurator. A nice
// value of -10 gives the test's threads about nine tenths of a core shared with
// one busy program of nice 0, which is what those Windows boosts give the
// configurator; no time-out, answer time or pause is widened.
//
// The raise happens before main, while the program has one thread: the threads
// it starts later (the simulator's, a page's worker, the programs it runs) take
// the value with them.
#include <sys/resource.h>

namespace {

constexpr int kLineTimingNice = -10;

const bool g_raised = [] { return setpriority(PRIO_PROCESS, 0, kLineTimingNice) == 0; }();

}  // namespace
