// A port layer of make-believe for the channel: a virtual clock (1 tick = 1 ns)
// that moves only when the channel reads the counter or sleeps, answers that
// arrive at given virtual times, and a record of every call. Linked in place of
// the platform's port layer, it shows what a pseudo-terminal cannot: the order
// of line switching, priority changes and writes, the time-outs set, and the
// exact instants of each step.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/port.h"

struct fake_call {
  std::string what;  // "open", "write", "char", "rts+", "rts-", "dtr+", "dtr-", "priority",
                     // "purge", "read", "timeouts", "line", "sleep"
  int64_t at = 0;    // virtual time of the call
  std::vector<uint8_t> data;
  int64_t value = 0;  // priority, sleep ms, read size, read time-out constant
};

struct fake_arrival {
  int64_t at;  // virtual time
  std::vector<uint8_t> bytes;
};

struct fake_line {
  int64_t clock = 1000000000;  // starts at 1 s
  int64_t counter_step = 200;  // each counter read moves the clock on this far
  std::deque<fake_arrival> incoming;
  std::vector<fake_call> calls;
  port_timeouts timeouts;
  bool open_fails = false;
  bool write_fails = false;
  bool char_fails = false;
  bool read_fails = false;
  bool purge_clears = true;  // the purge drops what has arrived
  uint32_t error = 0;
  int priority = 0;
  std::function<void()> on_write;  // run at each write, before it is recorded
  // An adaptor that hears what it sends: every byte written arrives back at once,
  // before answers queued for later.
  bool echo = false;

  // Bytes that have arrived by now.
  std::size_t available() const;
  std::size_t take(uint8_t* out, std::size_t size);
  // Queues bytes arriving at `at`, after those that arrive no later.
  void arrive(int64_t at, std::vector<uint8_t> bytes);
  void reset() { *this = fake_line(); }
  // The calls named what, in order.
  std::vector<fake_call> of(const std::string& what) const;
};

fake_line& fake();

inline constexpr int64_t fake_ms = 1000000;  // ticks per millisecond
