// The channel's log lines while a test runs, stamps cut off ("hh:mm:ss:mmm | ").
// The channel may log from another thread than the test's, so every access locks.
#pragma once

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "link/diag_log.h"

struct log_capture {
  std::vector<std::string> lines;
  std::mutex mutex;
  log_capture() { diag_log_sink(&log_capture::sink, this); }
  ~log_capture() { diag_log_sink(nullptr, nullptr); }
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;
  static void sink(void* self, const char* line) {
    auto* me = static_cast<log_capture*>(self);
    std::lock_guard<std::mutex> lock(me->mutex);
    me->lines.emplace_back(std::strlen(line) >= 15 ? line + 15 : line);
  }
  bool has(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& l : lines)
      if (l == text) return true;
    return false;
  }
  bool has_prefix(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& l : lines)
      if (l.compare(0, text.size(), text) == 0) return true;
    return false;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex);
    lines.clear();
  }
};
