#include "link/diag_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

#include "link/diag_clock.h"

namespace {

struct diag_log_state {
  std::mutex lock;
  char message[diag_log_max_message + 1] = {};
  diag_log_callback sink = nullptr;
  void* sink_context = nullptr;
  std::deque<std::string> lines;
};

// Built on first use, so logging from other static constructors is safe; never
// destroyed, so logging from static destructors is too.
diag_log_state& state() {
  static auto* s = new diag_log_state;
  return *s;
}

// Set while this thread runs the sink: a sink that logs would otherwise wait for
// the lock it already holds.
thread_local bool in_sink = false;

// The log's lock, unless this thread already holds it because it runs the sink:
// a sink may remove itself, read or empty the list without waiting for itself.
std::unique_lock<std::mutex> take_lock(diag_log_state& s) {
  return in_sink ? std::unique_lock<std::mutex>() : std::unique_lock<std::mutex>(s.lock);
}

}  // namespace

void diag_log_stamp(char (&out)[16], int hour, int minute, int second, int millisecond) {
  // Written digit by digit: each field always takes its width, whatever the value.
  const auto put = [&out](int at, int value, int width) {
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    for (int i = width - 1; i >= 0; --i) {
      out[at + i] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
  };
  put(0, hour, 2);
  out[2] = ':';
  put(3, minute, 2);
  out[5] = ':';
  put(6, second, 2);
  out[8] = ':';
  put(9, millisecond, 3);
  out[12] = ' ';
  out[13] = '|';
  out[14] = ' ';
  out[15] = '\0';
}

void diag_log(int /*level*/, const char* format, ...) {
  if (in_sink || format == nullptr) return;
  diag_log_state& s = state();
  std::lock_guard<std::mutex> guard(s.lock);

  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(s.message, sizeof s.message, format, args);
  va_end(args);
  if (n < 0) s.message[0] = '\0';

  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      now - std::chrono::system_clock::from_time_t(seconds))
                      .count();
  std::tm local{};
  char stamp[16];
  if (diag_local_time(seconds, local)) {
    diag_log_stamp(stamp, local.tm_hour, local.tm_min, local.tm_sec,
                   static_cast<int>((ms % 1000 + 1000) % 1000));
  } else {
    diag_log_stamp(stamp, 0, 0, 0, 0);
  }

  std::string line;
  line.reserve(15 + static_cast<std::size_t>(n > 0 ? n : 0));
  line.append(stamp, 15);
  line.append(s.message);

  if (s.sink != nullptr) {
    in_sink = true;
    s.sink(s.sink_context, line.c_str());
    in_sink = false;
  } else {
    s.lines.push_back(std::move(line));
    while (s.lines.size() > diag_log_max_lines) s.lines.pop_front();
  }
}

void diag_log_sink(diag_log_callback callback, void* context) {
  diag_log_state& s = state();
  const auto guard = take_lock(s);
  s.sink = callback;
  s.sink_context = callback != nullptr ? context : nullptr;
}

std::vector<std::string> diag_log_lines() {
  diag_log_state& s = state();
  const auto guard = take_lock(s);
  return {s.lines.begin(), s.lines.end()};
}

void diag_log_clear() {
  diag_log_state& s = state();
  const auto guard = take_lock(s);
  s.lines.clear();
}
