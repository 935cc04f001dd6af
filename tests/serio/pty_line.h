// A converter stand-in on the far side of a pseudo-terminal: it collects each
// request the channel sends and answers it from a script of timed writes, so a
// test can shape the answer byte by byte (noise, pauses, a frame cut short).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pseudo_terminal.h"

struct pty_step {
  int delay_ms;  // before the bytes; pty_hang_up: the far end hangs up instead
  std::vector<uint8_t> bytes;
};
inline constexpr int pty_hang_up = -1;

class pty_line {
 public:
  using clock = std::chrono::steady_clock;
  // Answers one request with the steps it returns (empty: silence).
  using script_fn = std::function<std::vector<pty_step>(const std::vector<uint8_t>& request)>;

  // request_size 0: a request ends with a carriage return; else it has this many bytes.
  explicit pty_line(std::size_t request_size = 0) : request_size_(request_size) {
    if (!pty_.ok()) return;
    // The far end keeps the slave open too, so the line never hangs up between
    // the channel's opens.
    keeper_ = ::open(pty_.slave().c_str(), O_RDWR | O_NOCTTY);
    thread_ = std::thread([this] { run(); });
  }

  ~pty_line() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (keeper_ >= 0) ::close(keeper_);
    pty_.HangUp();
  }

  const std::string& slave() const { return pty_.slave(); }
  std::wstring slave_wide() const { return std::wstring(slave().begin(), slave().end()); }
  bool ok() const { return pty_.master() >= 0 && keeper_ >= 0; }

  void set_script(script_fn script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }
  // Every request received so far, and when its first byte came.
  std::vector<std::vector<uint8_t>> requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  // While paused the far end reads nothing: what the channel sends waits in the
  // pseudo-terminal's buffer.
  void pause(bool paused) { paused_ = paused; }

  // Waits up to timeout_ms until n requests have come; false when they have not.
  bool wait_requests(std::size_t n, int timeout_ms = 2000) const {
    const auto until = clock::now() + std::chrono::milliseconds(timeout_ms);
    while (clock::now() < until) {
      if (requests().size() >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return requests().size() >= n;
  }
  std::vector<clock::time_point> request_times() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return request_times_;
  }
  // When the last byte of the last answer was written.
  clock::time_point last_answer_end() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_answer_end_;
  }
  // Waits up to timeout_ms until the far end has written the whole answer to each
  // of n requests (its script's last step is out); false when it has not.
  bool wait_answered(std::size_t n, int timeout_ms = 5000) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return answered_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return answered_ >= n; });
  }

  // Hangs the line up: the channel's writes and reads then fail. The answering
  // thread stops first, since a poll in progress would keep the master alive.
  void hang_up() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    pty_.HangUp();
  }

 private:
  void run() {
    std::vector<uint8_t> pending;
    while (!stop_) {
      const int fd = pty_.master();
      if (fd < 0) return;
      if (paused_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      uint8_t buf[256];
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i) {
        if (pending.empty()) {
          std::lock_guard<std::mutex> lock(mutex_);
          request_times_.push_back(clock::now());
        }
        pending.push_back(buf[i]);
        const bool done = request_size_ ? pending.size() == request_size_ : buf[i] == '\r';
        if (!done) continue;
        script_fn script;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(pending);
          script = script_;
        }
        std::vector<pty_step> steps;
        if (script) steps = script(pending);
        pending.clear();
        for (const auto& step : steps) {
          if (step.delay_ms == pty_hang_up) {
            pty_.HangUp();
            return;
          }
          if (step.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.delay_ms));
          const int out = pty_.master();
          if (out < 0) return;
          if (!step.bytes.empty() && ::write(out, step.bytes.data(), step.bytes.size()) < 0)
            return;
          std::lock_guard<std::mutex> lock(mutex_);
          last_answer_end_ = clock::now();
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          ++answered_;
        }
        answered_cv_.notify_all();
      }
    }
  }

  std::size_t request_size_;
  PseudoTerminal pty_;
  int keeper_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable answered_cv_;
  std::size_t answered_ = 0;  // requests whose script has run to its end
  script_fn script_;
  std::vector<std::vector<uint8_t>> requests_;
  std::vector<clock::time_point> request_times_;
  clock::time_point last_answer_end_{};
};
