// The diagnostic log: stamps, the line list, the sink, the cut of long messages
// and lines from many threads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "link/diag_log.h"

namespace {

class DiagLog : public ::testing::Test {
 protected:
  void SetUp() override {
    diag_log_sink(nullptr, nullptr);
    diag_log_clear();
  }
  void TearDown() override {
    diag_log_sink(nullptr, nullptr);
    diag_log_clear();
  }
};

bool is_stamp(const std::string& line) {
  if (line.size() < 15) return false;
  const char* pattern = "dd:dd:dd:ddd | ";
  for (int i = 0; i < 15; ++i) {
    const char c = line[static_cast<std::size_t>(i)];
    if (pattern[i] == 'd' ? (c < '0' || c > '9') : c != pattern[i]) return false;
  }
  return true;
}

int seconds_of_day(const std::string& line) {
  return std::stoi(line.substr(0, 2)) * 3600 + std::stoi(line.substr(3, 2)) * 60 +
         std::stoi(line.substr(6, 2));
}

TEST(DiagLogStamp, Format) {
  struct row {
    int h, m, s, ms;
    const char* stamp;
  };
  const row rows[] = {
      {9, 5, 3, 7, "09:05:03:007 | "},
      {0, 0, 0, 0, "00:00:00:000 | "},
      {23, 59, 59, 999, "23:59:59:999 | "},
      {12, 30, 0, 50, "12:30:00:050 | "},
  };
  for (const row& r : rows) {
    char out[16];
    diag_log_stamp(out, r.h, r.m, r.s, r.ms);
    EXPECT_STREQ(out, r.stamp);
  }
}

TEST_F(DiagLog, LineIsLocalTimeStampAndMessage) {
  // The log reads the precise clock; time() may lag it by a tick, so bracket the call
  // with the same clock.
  using clock = std::chrono::system_clock;
  const std::time_t before = clock::to_time_t(clock::now());
  diag_log(1, "serio(%s): принят правильный кадр %d\r\n", "COM3", 42);
  const std::time_t after = clock::to_time_t(clock::now());

  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines[0];
  ASSERT_TRUE(is_stamp(line)) << line;
  EXPECT_EQ(line.substr(15), "serio(COM3): принят правильный кадр 42\r\n");

  // The stamp is the local time of the call (unless midnight passed meanwhile).
  std::tm lb{};
  std::tm la{};
  lb = *std::localtime(&before);
  la = *std::localtime(&after);
  const int b = lb.tm_hour * 3600 + lb.tm_min * 60 + lb.tm_sec;
  const int a = la.tm_hour * 3600 + la.tm_min * 60 + la.tm_sec;
  if (b <= a) {
    EXPECT_GE(seconds_of_day(line), b);
    EXPECT_LE(seconds_of_day(line), a);
  }
}

TEST_F(DiagLog, EveryLevelAcceptedInOrder) {
  const int levels[] = {1, 3, 0, -7, 1000};
  for (int level : levels) diag_log(level, "level %d\r\n", level);
  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), std::size(levels));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(15), "level " + std::to_string(levels[i]) + "\r\n");
  }
  // No line end is added to a message without one.
  diag_log(1, "bare");
  EXPECT_EQ(diag_log_lines().back().substr(15), "bare");
}

TEST_F(DiagLog, LongMessageIsCut) {
  const std::string longest(diag_log_max_message, 'x');
  const std::string message = longest + "yyyy";
  diag_log(1, "%s", message.c_str());
  diag_log(1, "%s", longest.c_str());
  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 15 + 8191u);
  EXPECT_EQ(lines[0].substr(15), longest);
  EXPECT_EQ(lines[1].substr(15), longest);
}

struct captured {
  std::vector<std::string> lines;
};

void capture(void* context, const char* line) {
  static_cast<captured*>(context)->lines.emplace_back(line);
}

// A sink that logs: its own line must not hang the program.
void echo(void* context, const char* line) {
  static_cast<captured*>(context)->lines.emplace_back(line);
  diag_log(1, "echo\r\n");
}

TEST_F(DiagLog, SinkTakesLinesWhileInstalled) {
  diag_log(1, "before\r\n");
  captured got;
  diag_log_sink(capture, &got);
  diag_log(3, "to the sink %s\r\n", "now");
  diag_log_sink(nullptr, nullptr);
  diag_log(1, "after\r\n");

  ASSERT_EQ(got.lines.size(), 1u);
  EXPECT_TRUE(is_stamp(got.lines[0]));
  EXPECT_EQ(got.lines[0].substr(15), "to the sink now\r\n");
  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(15), "before\r\n");
  EXPECT_EQ(lines[1].substr(15), "after\r\n");

  captured echoed;
  diag_log_sink(echo, &echoed);
  diag_log(1, "once\r\n");
  diag_log_sink(nullptr, nullptr);
  ASSERT_EQ(echoed.lines.size(), 1u);
  EXPECT_EQ(echoed.lines[0].substr(15), "once\r\n");
  EXPECT_EQ(diag_log_lines().size(), 2u);
}

// A one-shot sink: it takes a line, reads the list and removes itself, all while
// the log holds its lock for it.
void once(void* context, const char* line) {
  auto* got = static_cast<captured*>(context);
  got->lines.emplace_back(line);
  got->lines.push_back(std::to_string(diag_log_lines().size()));
  diag_log_sink(nullptr, nullptr);
}

TEST_F(DiagLog, SinkMayRemoveItself) {
  diag_log(1, "kept\r\n");
  captured got;
  diag_log_sink(once, &got);
  diag_log(1, "to the sink\r\n");
  diag_log(1, "after\r\n");
  ASSERT_EQ(got.lines.size(), 2u);
  EXPECT_EQ(got.lines[0].substr(15), "to the sink\r\n");
  EXPECT_EQ(got.lines[1], "1");
  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(15), "after\r\n");
}

TEST_F(DiagLog, ThreadsNeverInterleave) {
  constexpr int threads = 4;
  constexpr int per_thread = 500;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([t] {
      for (int n = 0; n < per_thread; ++n) diag_log(1, "thread %d line %d %s\r\n", t, n, "padding");
    });
  }
  for (std::thread& w : workers) w.join();

  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(threads * per_thread));
  std::vector<int> next(threads, 0);
  for (const std::string& line : lines) {
    ASSERT_TRUE(is_stamp(line)) << line;
    int t = -1;
    int n = -1;
    char tail[16] = {};
    ASSERT_EQ(std::sscanf(line.c_str() + 15, "thread %d line %d %15s", &t, &n, tail), 3) << line;
    ASSERT_TRUE(t >= 0 && t < threads) << line;
    EXPECT_EQ(n, next[static_cast<std::size_t>(t)]++) << line;  // each thread's lines in order
    EXPECT_EQ(line.compare(line.size() - 9, 9, "padding\r\n"), 0) << line;
  }
}

TEST_F(DiagLog, ListKeepsTheLatestLines) {
  const std::size_t total = diag_log_max_lines + 10;
  for (std::size_t i = 0; i < total; ++i) diag_log(1, "%zu\r\n", i);
  const std::vector<std::string> lines = diag_log_lines();
  ASSERT_EQ(lines.size(), diag_log_max_lines);
  EXPECT_EQ(lines.front().substr(15), "10\r\n");
  EXPECT_EQ(lines.back().substr(15), std::to_string(total - 1) + "\r\n");
}

}  // namespace
