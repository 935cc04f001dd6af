// The channel's order of steps and its timing, on a port layer of make-believe
// with a virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "device/settings_rules.h"
#include "fake_port.h"
#include "link/diag_log.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "link/serio.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes ravik_payload(const char* name, bool is_read, bytes data = {}) {
  ravik_make_request(data, is_read, false, 16, ravik_hash(name, nullptr));
  return data;
}
bytes encoded(const frame_codec& codec, const bytes& payload) {
  bytes out;
  codec.encode(payload, out);
  return out;
}

class serio_fake : public ::testing::Test {
 protected:
  void SetUp() override {
    fake().reset();
    diag_log_sink(&serio_fake::sink, this);
    ASSERT_TRUE(channel.open(L"COM3"));
    channel.codec = &ravik;
  }
  void TearDown() override { diag_log_sink(nullptr, nullptr); }
  static void sink(void* self, const char* line) {
    static_cast<serio_fake*>(self)->lines.emplace_back(line + 15);
  }
  // The calls from the first of what on, names only.
  std::vector<std::string> sequence(std::size_t from = 0) const {
    std::vector<std::string> out;
    for (std::size_t i = from; i < fake().calls.size(); ++i) out.push_back(fake().calls[i].what);
    return out;
  }
  // Queues an answer arriving ms after now.
  void answer_in(int64_t ms, const bytes& b) { fake().incoming.push_back({fake().clock + ms * fake_ms, b}); }
  int64_t char_ns(int baud = 9600, int bits = 10) const { return bits * 1000000000LL / baud; }
  // A marked read on an echoing adaptor, answered: the channel learns the echo.
  void learn_that_the_port_echoes() {
    fake().echo = true;
    channel.learn_echo = true;
    answer_in(30, encoded(ravik, dev_answer));
    bytes answer;
    ASSERT_TRUE(channel.transact(ravik_payload("dev", true), answer, true)) << channel.status();
    ASSERT_EQ(channel.echo(), serio_echo::present);
  }

  std::vector<std::string> lines;
  serio channel;
  ravik_codec ravik;
  const bytes dev_answer = ravik_payload("dev", false, {'T', '4', 'S', 'K'});
};

TEST_F(serio_fake, open_sets_the_line_then_the_idle_timeouts) {
  EXPECT_EQ(sequence(), (std::vector<std::string>{"open", "line", "purge", "timeouts"}));
  const port_timeouts& t = fake().timeouts;
  EXPECT_EQ(t.read_interval, port_maxdword);
  EXPECT_EQ(t.read_total_multiplier, port_maxdword);
  EXPECT_EQ(t.read_total_constant, 25u);
  EXPECT_EQ(t.write_total_multiplier, 0u);
  EXPECT_EQ(t.write_total_constant, 500u);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "serio(COM3): установлены новые параметры обмена 9600 8-n-1\r\n");

  // A new rate sends the line again; the time-outs stay as they are for it.
  const std::size_t before = fake().calls.size();
  ASSERT_TRUE(channel.set_params(19200, 8, 0, 0));
  EXPECT_EQ(sequence(before), (std::vector<std::string>{"line", "purge", "timeouts"}));
  // Reopened, the new handle gets its time-outs again.
  channel.close();
  ASSERT_TRUE(channel.open(L"COM3"));
  EXPECT_EQ(fake().of("timeouts").size(), 3u);
}

struct switching_case {
  int mode;
  const char* raise;
  const char* drop;
};

class serio_switching : public serio_fake, public ::testing::WithParamInterface<switching_case> {};

// Raise the priority, raise the line, all but the last byte written, the last one
// sent by itself, the line dropped once the frame and one character more have
// passed, the priority restored.
TEST_P(serio_switching, line_is_held_for_the_frame_time) {
  const auto& c = GetParam();
  fake().priority = -1;
  ASSERT_TRUE(channel.set_line_control(c.mode));
  const bytes request = ravik_payload("APLY", false, {1});
  const bytes frame = encoded(ravik, request);
  const std::size_t from = fake().calls.size();
  bytes answer;
  ASSERT_TRUE(channel.transact(request, answer, false));

  std::vector<std::string> expected{"timeouts", "purge", "priority", c.raise};
  expected.push_back("write");
  expected.push_back("char");
  expected.push_back(c.drop);
  expected.push_back("priority");
  EXPECT_EQ(sequence(from), expected);
  const auto writes = fake().of("write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].data, bytes(frame.begin(), frame.end() - 1));
  EXPECT_EQ(fake().of("char")[0].data, bytes{frame.back()});
  const auto priorities = fake().of("priority");
  EXPECT_EQ(priorities[0].value, port_priority_above_normal);
  EXPECT_EQ(priorities[1].value, -1);
  // Held for (frame + 1) characters, and not a spin threshold longer.
  const int64_t held = fake().of(c.drop)[0].at - fake().of(c.raise)[0].at;
  const int64_t frame_ns = static_cast<int64_t>(frame.size() + 1) * char_ns();
  EXPECT_GE(held, frame_ns);
  EXPECT_LT(held, frame_ns + 10000);
  EXPECT_EQ(channel.status(), serio_ok);
}

// The mode changed from another thread while a frame goes out: the line that was
// raised is the one dropped, so the transmitter is not left on.
TEST_P(serio_switching, raised_line_is_dropped_when_the_mode_changes_meanwhile) {
  const auto& c = GetParam();
  ASSERT_TRUE(channel.set_line_control(c.mode));
  fake().on_write = [&] { channel.set_line_control(c.mode == 1 ? 2 : 1); };
  const std::size_t from = fake().calls.size();
  bytes answer;
  ASSERT_TRUE(channel.transact(ravik_payload("APLY", false, {1}), answer, false));
  const auto seq = sequence(from);
  EXPECT_EQ(std::count(seq.begin(), seq.end(), c.raise), 1);
  EXPECT_EQ(std::count(seq.begin(), seq.end(), c.drop), 1);
}

INSTANTIATE_TEST_SUITE_P(modes, serio_switching,
                         ::testing::Values(switching_case{1, "rts+", "rts-"},
                                           switching_case{2, "dtr+", "dtr-"}));

TEST_F(serio_fake, without_switching_one_write_and_the_frame_time) {
  const bytes request = ravik_payload("APLY", false, {1});
  const std::size_t from = fake().calls.size();
  const int64_t start = fake().clock;
  bytes answer;
  ASSERT_TRUE(channel.transact(request, answer, false));
  EXPECT_EQ(sequence(from), (std::vector<std::string>{"timeouts", "purge", "write"}));
  const int64_t frame_ns = static_cast<int64_t>(encoded(ravik, request).size() + 1) * char_ns();
  EXPECT_GE(fake().clock - start, frame_ns);
}

// A codec whose every frame is the same few bytes, whatever the payload.
class fixed_frame_codec : public ravik_codec {
 public:
  explicit fixed_frame_codec(bytes frame) : frame_(std::move(frame)) {}
  int encode(const std::vector<uint8_t>&, std::vector<uint8_t>& out) const override {
    out.insert(out.end(), frame_.begin(), frame_.end());
    return static_cast<int>(out.size());
  }

 private:
  bytes frame_;
};

// A one-byte frame is sent by character transmission alone; an empty frame sends
// nothing, and nothing is read past it.
TEST_F(serio_fake, one_byte_and_empty_frames_with_switching) {
  const struct {
    bytes frame;
    int mode;
    std::vector<std::string> steps;
  } cases[] = {
      {{0x55}, 1, {"timeouts", "purge", "priority", "rts+", "char", "rts-", "priority"}},
      {{}, 2, {"timeouts", "purge", "priority", "dtr+", "dtr-", "priority"}},
  };
  for (const auto& c : cases) {
    fixed_frame_codec codec(c.frame);
    channel.codec = &codec;
    ASSERT_TRUE(channel.set_line_control(c.mode));
    const std::size_t from = fake().calls.size();
    bytes answer;
    ASSERT_TRUE(channel.transact({}, answer, false)) << c.mode;
    EXPECT_EQ(sequence(from), c.steps) << c.mode;
  }
}

TEST_F(serio_fake, failed_transmissions_drop_the_line_and_restore_the_priority) {
  ASSERT_TRUE(channel.set_line_control(1));
  fake().write_fails = true;
  std::size_t from = fake().calls.size();
  bytes answer;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_io_error);
  EXPECT_EQ(channel.os_error(), 5u);
  EXPECT_EQ(sequence(from), (std::vector<std::string>{"timeouts", "purge", "priority", "rts+",
                                                      "write", "rts-", "priority"}));
  EXPECT_EQ(lines.back(), "serio(COM3): ошибка передачи блока (5)\r\n");

  fake().write_fails = false;
  fake().char_fails = true;
  from = fake().calls.size();
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_io_error);
  EXPECT_EQ(sequence(from), (std::vector<std::string>{"timeouts", "purge", "priority", "rts+",
                                                      "write", "char", "rts-", "priority"}));
  EXPECT_EQ(lines.back(), "serio(COM3): ошибка передачи символа (5)\r\n");
  EXPECT_EQ(fake().priority, 0);
}

// The reception: 50 ms after the frame, the first byte within the answer time
// plus 10 ms, later bytes within the gap (here the answer time) plus 10 ms.
TEST_F(serio_fake, reception_timeouts_and_pause) {
  const int64_t start = fake().clock;
  answer_in(30, encoded(ravik, dev_answer));
  bytes answer;
  ASSERT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(answer, dev_answer);
  const auto timeouts = fake().of("timeouts");
  ASSERT_GE(timeouts.size(), 3u);
  EXPECT_EQ(timeouts[timeouts.size() - 2].value, 70 + 10);  // first byte: 70 ms answer time
  EXPECT_EQ(timeouts.back().value, 70 + 10);                 // no gap: the answer time again
  const auto sleeps = fake().of("sleep");
  ASSERT_EQ(sleeps.size(), 1u);
  EXPECT_EQ(sleeps[0].value, 50);
  const auto reads = fake().of("read");
  ASSERT_FALSE(reads.empty());
  EXPECT_GE(reads[0].at - start, 50 * fake_ms);
  EXPECT_EQ(reads[0].value, 1);
  EXPECT_EQ(lines.back(), "serio(COM3): принят правильный кадр\r\n");
}

TEST_F(serio_fake, queued_input_is_read_away_64_bytes_at_a_time) {
  fake().purge_clears = false;
  answer_in(0, bytes(150, 'x'));
  fake().clock += 1;
  bytes answer;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  const auto reads = fake().of("read");
  ASSERT_GE(reads.size(), 3u);
  EXPECT_EQ(reads[0].value, 64);
  EXPECT_EQ(reads[1].value, 64);
  EXPECT_EQ(reads[2].value, 22);
  EXPECT_EQ(channel.status(), serio_no_answer);
}

TEST_F(serio_fake, turnaround_counts_from_the_end_of_the_last_reception) {
  ASSERT_TRUE(channel.set_turnaround(10000));
  answer_in(1, encoded(ravik, dev_answer));
  bytes answer;
  ASSERT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
  const int64_t end = channel.last_reception_end();
  ASSERT_TRUE(channel.transact(ravik_payload("APLY", false, {1}), answer, false));
  const auto writes = fake().of("write");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_GE(writes[1].at - end, (10000 + 400) * 1000LL);
}

// Bytes that keep coming but never end a frame: the answer deadline (answer time
// plus margin from the start of reception) ends the reception.
TEST_F(serio_fake, answer_deadline_from_the_start_of_reception) {
  bytes answer;
  int64_t at = fake().clock + 5 * fake_ms;
  for (int i = 0; i < 100; ++i) {
    fake().incoming.push_back({at, bytes{'#'} });
    at += 20 * fake_ms;
  }
  fake().incoming.front().bytes = {'#'};
  for (std::size_t i = 1; i < fake().incoming.size(); ++i) fake().incoming[i].bytes = {'G'};
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_answer_timeout);
  const int64_t reception_start = fake().of("sleep")[0].at + 50 * fake_ms;
  const int64_t ended = channel.last_reception_end() - reception_start;
  EXPECT_GE(ended, 70400 * 1000LL);
  EXPECT_LT(ended, (70400 + 25000) * 1000LL);
  EXPECT_EQ(lines.back(), "serio(COM3): ошибка приёма кадра\r\n");
}

// Modbus RTU at 9600: 50 ms of silence ends a frame; the read waits 60 ms.
TEST_F(serio_fake, modbus_gap) {
  modbus_rtu_codec rtu;
  channel.codec = &rtu;
  bytes frame = encoded(rtu, {16, 3, 2, 0x12, 0x34});
  // Two halves 40 ms apart: one frame.
  answer_in(70, bytes(frame.begin(), frame.begin() + 3));
  answer_in(110, bytes(frame.begin() + 3, frame.end()));
  bytes answer;
  ASSERT_TRUE(channel.transact({16, 3, 0, 0, 0, 1}, answer, true)) << channel.status();
  EXPECT_EQ(answer, (bytes{16, 3, 2, 0x12, 0x34}));
  EXPECT_EQ(fake().of("timeouts").back().value, 50 + 10);
  // 70 ms apart: the silence ends the frame after its third byte, too short.
  fake().incoming.clear();
  answer_in(70, bytes(frame.begin(), frame.begin() + 3));
  answer_in(140, bytes(frame.begin() + 3, frame.end()));
  EXPECT_FALSE(channel.transact({16, 3, 0, 0, 0, 1}, answer, true));
  EXPECT_EQ(channel.status(), serio_answer_timeout);
  // Byte count 4 promises 9 bytes; 7 come, and they end in a valid CRC of the
  // five before them. The answer stopped short: it has timed out.
  fake().incoming.clear();
  answer_in(70, encoded(rtu, {16, 3, 4, 0x12, 0x34}));
  answer = {9};
  EXPECT_FALSE(channel.transact({16, 3, 0, 0, 0, 2}, answer, true));
  EXPECT_EQ(channel.status(), serio_answer_timeout);
  EXPECT_EQ(answer, bytes{9});
  EXPECT_EQ(lines.back(), "serio(COM3): таймаут ожидания ответа прибора\r\n");
}

TEST_F(serio_fake, read_failures) {
  bytes answer;
  fake().read_fails = true;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_no_answer);
  EXPECT_EQ(channel.os_error(), 5u);
  EXPECT_EQ(lines.back(), "serio(COM3): очередной байт пакета не пришел в назначенное время\r\n");

  // The first byte comes, the next read fails.
  fake().read_fails = false;
  answer_in(1, bytes{'#'});
  class fail_after_first : public ravik_codec {
   public:
    feed_result feed(int final, const std::vector<uint8_t>& input, int& consumed) override {
      fake().read_fails = true;
      return ravik_codec::feed(final, input, consumed);
    }
  } codec;
  channel.codec = &codec;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_io_error);
  EXPECT_EQ(lines.back(), "serio(COM3): ошибка ReadFile (5)\r\n");
}

// The echo of the port, learned from a read the owner marks. Each case: what
// arrives after the request (the fake adaptor's echo, and bytes at given times
// after the transaction starts), what the channel then knows of the echo, and how
// the read ends.
struct echo_arrival {
  int64_t ms;
  enum { echo_head, echo_tail, answer, noise } what;
};

struct echo_case {
  const char* what;
  bool adaptor_echoes;                // every byte sent comes back at once
  std::vector<echo_arrival> arrivals;  // besides that echo
  serio_echo learned;
  int status;
  uint32_t margin;
};

void PrintTo(const echo_case& c, std::ostream* os) { *os << c.what; }

class serio_fake_echo : public serio_fake, public ::testing::WithParamInterface<echo_case> {
 protected:
  // The frame of the marked read, split where a latency tick would split it.
  const bytes request = ravik_payload("dev", true);
  const bytes frame = encoded(ravik, request);
  static constexpr std::size_t head_size = 5;

  void queue(const std::vector<echo_arrival>& arrivals) {
    for (const echo_arrival& a : arrivals) {
      bytes b;
      switch (a.what) {
        case echo_arrival::echo_head: b.assign(frame.begin(), frame.begin() + head_size); break;
        case echo_arrival::echo_tail: b.assign(frame.begin() + head_size, frame.end()); break;
        case echo_arrival::answer: b = encoded(ravik, dev_answer); break;
        case echo_arrival::noise: b = {frame.back()}; break;
      }
      fake().arrive(fake().clock + a.ms * fake_ms, b);
    }
  }
  long echo_lines() const {
    return std::count(lines.begin(), lines.end(),
                      "serio(COM3): порт возвращает переданные байты (эхо), эхо каждого запроса "
                      "отбрасывается\r\n");
  }
};

TEST_P(serio_fake_echo, learned_from_the_marked_read) {
  const echo_case& c = GetParam();
  fake().echo = c.adaptor_echoes;
  queue(c.arrivals);
  EXPECT_EQ(channel.echo(), serio_echo::unknown);
  channel.learn_echo = true;
  bytes answer;
  EXPECT_EQ(channel.transact(request, answer, true), c.status == serio_ok) << channel.status();
  EXPECT_EQ(channel.status(), c.status);
  EXPECT_FALSE(channel.learn_echo);  // for one transaction only
  EXPECT_EQ(channel.echo(), c.learned);
  EXPECT_EQ(echo_lines(), c.learned == serio_echo::present ? 1 : 0);
  if (c.status == serio_ok) {
    EXPECT_EQ(answer, dev_answer);
  }
  EXPECT_EQ(channel.rts_margin(), c.margin);
  // The reception's time-outs and pause are those of any read.
  const auto timeouts = fake().of("timeouts");
  EXPECT_EQ(timeouts[1].value, 70 + 10);
  EXPECT_EQ(fake().of("sleep")[0].value, 50);
}

// Arrivals from 70 ms on come after the frame time and the 50 ms pause, each in
// a read of its own (a latency timer of 16 ms); earlier ones are all there at the
// first read.
INSTANTIATE_TEST_SUITE_P(
    lines, serio_fake_echo,
    ::testing::Values(
        echo_case{"echo_then_answer", true, {{30, echo_arrival::answer}}, serio_echo::present,
                  serio_ok, 400},
        echo_case{"echo_and_answer_across_reads", false,
                  {{70, echo_arrival::echo_head}, {86, echo_arrival::echo_tail},
                   {86, echo_arrival::answer}},
                  serio_echo::present, serio_ok, 400},
        echo_case{"echo_from_a_silent_converter", true, {}, serio_echo::present, serio_no_answer,
                  400},
        echo_case{"echo_then_a_stray_byte_then_answer", true,
                  {{30, echo_arrival::noise}, {30, echo_arrival::answer}}, serio_echo::present,
                  serio_ok, 300},
        echo_case{"answer_alone", false, {{30, echo_arrival::answer}}, serio_echo::absent,
                  serio_ok, 400},
        echo_case{"answer_alone_after_the_pause", false, {{90, echo_arrival::answer}},
                  serio_echo::absent, serio_ok, 400},
        echo_case{"silence", false, {}, serio_echo::absent, serio_no_answer, 400},
        // An adaptor whose transmitter went off late gives back the frame's last
        // byte: no echo, and the margin shrinks as it always did.
        echo_case{"tail_of_the_frame_then_answer", false,
                  {{30, echo_arrival::noise}, {30, echo_arrival::answer}}, serio_echo::absent,
                  serio_ok, 300},
        // Part of the frame and then something else: no echo, and those bytes are
        // the answer's as far as the codec is concerned.
        echo_case{"part_of_the_frame_then_answer", false,
                  {{30, echo_arrival::echo_head}, {30, echo_arrival::answer}}, serio_echo::absent,
                  serio_bad_frame, 400},
        echo_case{"part_of_the_frame_then_silence", false, {{70, echo_arrival::echo_head}},
                  serio_echo::absent, serio_answer_timeout, 400}),
    [](const auto& info) { return std::string(info.param.what); });

// Once learned, the echo of every request is dropped, a write's included, and
// nothing more is logged of it: a write to a converter that does not answer fails
// instead of taking its own echo for the acknowledgement. Reopened, the port's
// echo is learned afresh.
TEST_F(serio_fake, echo_dropped_from_every_request_once_learned) {
  ASSERT_NO_FATAL_FAILURE(learn_that_the_port_echoes());
  bytes answer;

  const bytes write = ravik_payload("FrEq", false, {7});
  answer_in(30, encoded(ravik, write));  // the converter's acknowledgement
  ASSERT_TRUE(channel.transact(write, answer, true)) << channel.status();
  EXPECT_EQ(answer, write);
  EXPECT_FALSE(channel.transact(write, answer, true));  // nobody acknowledges
  EXPECT_EQ(channel.status(), serio_no_answer);
  EXPECT_EQ(lines.back(), "serio(COM3): очередной байт пакета не пришел в назначенное время\r\n");
  const long echo_lines =
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& l) { return l.find("(эхо)") != std::string::npos; });
  EXPECT_EQ(echo_lines, 1);

  channel.close();
  ASSERT_TRUE(channel.open(L"COM3"));
  EXPECT_EQ(channel.echo(), serio_echo::unknown);
}

// A request that gets no answer ("APLY") has its echo read away before the
// transaction ends, however late the adaptor's latency timer hands it over: the
// next request, on this port or on the port reopened, meets none of it.
TEST_F(serio_fake, echo_of_a_request_without_answer_is_read_away) {
  ASSERT_NO_FATAL_FAILURE(learn_that_the_port_echoes());
  bytes answer;

  fake().echo = false;
  const bytes apply = ravik_payload("APLY", false, {1});
  const bytes frame = encoded(ravik, apply);
  int64_t echo_at = 0;
  fake().on_write = [&] {
    echo_at = fake().clock + static_cast<int64_t>(frame.size() + 1) * char_ns() + 40 * fake_ms;
    fake().arrive(echo_at, frame);
  };
  ASSERT_TRUE(channel.transact(apply, answer, false)) << channel.status();
  EXPECT_EQ(channel.status(), serio_ok);
  EXPECT_TRUE(fake().incoming.empty());
  EXPECT_GE(channel.last_reception_end(), echo_at);
}

// An adaptor that holds the echo back (its latency timer) holds the answer as
// long: the answer's time, and the reception the log reports, run from the end
// of the echo. Here the echo comes 35 ms into the reception and the answer in
// pieces until 60 ms after it, past the 70 ms counted from the reception's start.
TEST_F(serio_fake, answer_time_runs_from_the_end_of_the_echo) {
  const bytes request = ravik_payload("dev", true);
  const bytes frame = encoded(ravik, request);
  const bytes reply = encoded(ravik, dev_answer);
  const int64_t start = fake().clock;
  // The reception starts after the frame time and the 50 ms pause.
  const int64_t reception = start + static_cast<int64_t>(frame.size() + 1) * char_ns() + 50 * fake_ms;
  fake().arrive(reception + 35 * fake_ms, frame);
  fake().arrive(reception + 45 * fake_ms, bytes(reply.begin(), reply.begin() + 3));
  fake().arrive(reception + 80 * fake_ms, bytes(reply.begin() + 3, reply.begin() + 6));
  fake().arrive(reception + 95 * fake_ms, bytes(reply.begin() + 6, reply.end()));
  channel.learn_echo = true;
  bytes answer;
  ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(answer, dev_answer);
  EXPECT_EQ(channel.echo(), serio_echo::present);
  const std::string took = "serio(COM3): приём блока занял ";
  auto line = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(took, 0) == 0; });
  ASSERT_NE(line, lines.end());
  const long us = std::stol(line->substr(took.size()));
  EXPECT_GE(us, 60000);
  EXPECT_LT(us, 61000);
}

// The latest answer a converter may give, behind an echoing adaptor whose latency
// timer hands received bytes over every 16 ms, is still taken: the channel's own
// timing (the frame time, the 50 ms pause, the codec's answer time of 70 ms from
// 9600 baud on and 150 ms below, counted from the end of an echo that came before
// the pause was over) covers a converter that answers the longest text (8
// characters, a frame of 30 characters) after its longest delay. The request's
// last character is on the wire 14 characters' time after the write; the echo
// comes with it; the converter starts its answer the longest delay later; the
// adaptor hands each byte over at the first tick after it came, the ticks placed
// so that the last byte only just missed one. At 2400 baud the last byte comes
// 244 ms after the write against a deadline of 263 ms, at 9600 107 ms against 136.
class serio_fake_latest : public serio_fake, public ::testing::WithParamInterface<int> {};

TEST_P(serio_fake_latest, answer_is_taken_behind_an_echoing_late_adaptor) {
  const int baud = GetParam();
  ASSERT_TRUE(channel.set_params(baud, 8, 0, 0));
  const bytes request = ravik_payload("ver", true);
  const bytes frame = encoded(ravik, request);
  // "KV4T-1.3", last character first, as the converter sends its texts.
  const bytes reply_payload = ravik_payload("ver", false, {'3', '.', '1', '-', 'T', '4', 'V', 'K'});
  const bytes reply = encoded(ravik, reply_payload);
  ASSERT_EQ(frame.size(), 14u);
  ASSERT_EQ(reply.size(), 30u);
  const int64_t c = char_ns(baud);
  const int64_t tick = 16 * fake_ms;
  int64_t last_at = 0;
  fake().on_write = [&] {
    const int64_t received = fake().clock + static_cast<int64_t>(frame.size()) * c;
    const int64_t starts = received + settings_rules::kMaxAnswerDelayMs * fake_ms;
    const int64_t last_in = starts + static_cast<int64_t>(reply.size()) * c;
    // A tick falls just before the last byte is in: the next one hands it over.
    const int64_t phase = last_in - 1000;
    auto handed = [&](int64_t in) { return phase + (in - phase + tick - 1) / tick * tick; };
    fake().arrive(handed(received), frame);
    for (std::size_t i = 0; i < reply.size(); ++i)
      fake().arrive(handed(starts + static_cast<int64_t>(i + 1) * c), {reply[i]});
    last_at = handed(last_in);
  };
  const int64_t start = fake().clock;
  channel.learn_echo = true;
  bytes answer;
  ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(answer, reply_payload);
  EXPECT_EQ(channel.echo(), serio_echo::present);
  EXPECT_EQ(fake().of("write").size(), 1u);
  EXPECT_GE(channel.last_reception_end(), last_at);
  // The bound the comment states: the last byte's time after the write.
  EXPECT_NEAR(static_cast<double>(last_at - start) / fake_ms, baud == 2400 ? 244.3 : 106.9, 1.0);
}

INSTANTIATE_TEST_SUITE_P(rates, serio_fake_latest, ::testing::Values(2400, 9600));

// Unmarked, a transaction teaches nothing: the echo of a write would be taken for
// its acknowledgement, and the owner marks only reads.
TEST_F(serio_fake, an_unmarked_transaction_learns_nothing) {
  fake().echo = true;
  const bytes write = ravik_payload("FrEq", false, {7});
  bytes answer;
  EXPECT_TRUE(channel.transact(write, answer, true));
  EXPECT_EQ(answer, write);
  EXPECT_EQ(channel.echo(), serio_echo::unknown);
  channel.learn_echo = true;
  EXPECT_TRUE(channel.transact(ravik_payload("APLY", false, {1}), answer, false));
  EXPECT_EQ(channel.echo(), serio_echo::unknown);  // nothing received, nothing learned
  EXPECT_FALSE(channel.learn_echo);
}

// On a line without echo, a marked read sends, waits and logs exactly what an
// unmarked one does.
TEST_F(serio_fake, learning_on_a_line_without_echo_changes_nothing_on_it) {
  struct run {
    std::vector<fake_call> writes, sleeps, timeouts;
    std::vector<std::string> lines;
    int64_t took;
  };
  auto read_once = [&](bool mark) {
    channel.close();
    fake().reset();
    lines.clear();
    EXPECT_TRUE(channel.open(L"COM3"));
    const int64_t start = fake().clock;
    answer_in(30, encoded(ravik, dev_answer));
    channel.learn_echo = mark;
    bytes answer;
    EXPECT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
    EXPECT_EQ(answer, dev_answer);
    run r{fake().of("write"), fake().of("sleep"), fake().of("timeouts"), lines,
          channel.last_reception_end() - start};
    for (auto* calls : {&r.writes, &r.sleeps, &r.timeouts})
      for (fake_call& call : *calls) call.at -= start;
    return r;
  };
  const run plain = read_once(false);
  const run marked = read_once(true);
  EXPECT_EQ(channel.echo(), serio_echo::absent);
  ASSERT_EQ(marked.writes.size(), plain.writes.size());
  for (std::size_t i = 0; i < plain.writes.size(); ++i) {
    EXPECT_EQ(marked.writes[i].data, plain.writes[i].data);
    EXPECT_EQ(marked.writes[i].at, plain.writes[i].at);
  }
  ASSERT_EQ(marked.sleeps.size(), plain.sleeps.size());
  EXPECT_EQ(marked.sleeps[0].at, plain.sleeps[0].at);
  ASSERT_EQ(marked.timeouts.size(), plain.timeouts.size());
  for (std::size_t i = 0; i < plain.timeouts.size(); ++i)
    EXPECT_EQ(marked.timeouts[i].value, plain.timeouts[i].value);
  // The same lines, but for the microseconds the steps took.
  auto without_numbers = [](std::vector<std::string> lines) {
    for (std::string& l : lines)
      l.erase(std::remove_if(l.begin(), l.end(), [](char ch) { return std::isdigit(ch); }), l.end());
    return lines;
  };
  EXPECT_EQ(without_numbers(marked.lines), without_numbers(plain.lines));
  // The reception ends when the answer has come: the marked read takes its first
  // bytes in one read instead of one by one, a few microseconds sooner.
  EXPECT_LE(marked.took, plain.took);
  EXPECT_LT(plain.took - marked.took, 100 * 1000);
}

TEST(serio_fake_open, open_failure_keeps_the_error) {
  fake().reset();
  fake().open_fails = true;
  std::vector<std::string> lines;
  diag_log_sink([](void* l, const char* line) {
    static_cast<std::vector<std::string>*>(l)->emplace_back(line + 15);
  }, &lines);
  serio channel;
  EXPECT_FALSE(channel.open(L"COM9"));
  diag_log_sink(nullptr, nullptr);
  EXPECT_EQ(channel.status(), serio_open_failed);
  EXPECT_EQ(channel.os_error(), 2u);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "serio(COM9): ошибка открытия порта (2)\r\n");
}

}  // namespace
