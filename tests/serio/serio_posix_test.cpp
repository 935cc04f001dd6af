// The channel against a converter stand-in over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/unicode.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "link/serio.h"
#include "log_capture.h"
#include "pty_line.h"
#include "tests/support/ports_folder.h"

namespace {

using bytes = std::vector<uint8_t>;
using ms = std::chrono::milliseconds;

// A RAVIK payload: header for address 16, 8-bit addressing, then data.
bytes ravik_payload(const char* name, bool is_read, bytes data = {}) {
  ravik_make_request(data, is_read, false, 16, ravik_hash(name, nullptr));
  return data;
}

bytes ravik_frame(const bytes& payload) {
  ravik_codec codec;
  bytes out;
  codec.encode(payload, out);
  return out;
}

bytes rtu_frame(const bytes& payload) {
  modbus_rtu_codec codec;
  bytes out;
  codec.encode(payload, out);
  return out;
}

bytes text_bytes(const char* s) { return bytes(s, s + std::strlen(s)); }

class serio_pty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.ok());
    ASSERT_TRUE(channel.open(line.slave_wide()));
    channel.codec = &ravik;
  }
  // The "dev" answer: "KS4T" reversed.
  static bytes dev_answer() { return ravik_payload("dev", false, {'T', '4', 'S', 'K'}); }
  void answer_with(std::vector<pty_step> steps) {
    line.set_script([steps](const bytes&) { return steps; });
  }

  log_capture log;
  pty_line line;
  serio channel;
  ravik_codec ravik;
  std::string tag() const { return "serio(" + line.slave() + "): "; }
};

TEST_F(serio_pty, ravik_request_and_answer) {
  answer_with({{2, ravik_frame(dev_answer())}});
  bytes answer;
  const bytes request = ravik_payload("dev", true);
  ASSERT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(channel.status(), serio_ok);
  EXPECT_EQ(answer, dev_answer());
  ASSERT_EQ(line.requests().size(), 1u);
  EXPECT_EQ(line.requests()[0], ravik_frame(request));
  EXPECT_TRUE(log.has(tag() + "принят правильный кадр\r\n"));
  EXPECT_TRUE(log.has_prefix(tag() + "передача блока заняла "));
  EXPECT_TRUE(log.has_prefix(tag() + "приём блока занял "));
  EXPECT_EQ(channel.rts_margin(), 400u);
  EXPECT_NE(channel.last_reception_end(), 0);
}

TEST_F(serio_pty, open_logs_the_line_parameters_and_set_params_resends_them) {
  serio other;
  log.clear();
  line.set_script(nullptr);
  channel.close();
  ASSERT_TRUE(channel.open(line.slave_wide()));
  EXPECT_TRUE(log.has(tag() + "установлены новые параметры обмена 9600 8-n-1\r\n"));
  ASSERT_TRUE(channel.set_params(19200, 7, 2, 2));
  EXPECT_TRUE(log.has(tag() + "установлены новые параметры обмена 19200 7-e-2\r\n"));
  ASSERT_TRUE(channel.set_params(2400, 8, 1, 0));
  EXPECT_TRUE(log.has(tag() + "установлены новые параметры обмена 2400 8-o-1\r\n"));
  // Start, 8 data bits, parity, 1 stop: 11 bits a character.
  EXPECT_EQ(channel.framing_bits(), 3);
  EXPECT_EQ(channel.char_ticks(), 11 * serio::counter_frequency() / 2400);
  // The same values again: nothing is sent to the port, nothing logged.
  log.clear();
  EXPECT_TRUE(channel.set_params(2400, 8, 1, 0));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(serio_pty, answer_without_wait_takes_the_frame_time) {
  const bytes request = ravik_payload("APLY", false, {1});
  bytes answer;
  ASSERT_TRUE(channel.transact(request, answer, false));
  EXPECT_EQ(channel.status(), serio_ok);
  // 16 characters on the wire plus one, 10 bits each at 9600 baud.
  const std::string prefix = tag() + "передача блока заняла ";
  std::string sent;
  for (const auto& l : log.lines)
    if (l.compare(0, prefix.size(), prefix) == 0) sent = l.substr(prefix.size());
  ASSERT_FALSE(sent.empty());
  EXPECT_GE(std::stol(sent), 17L * 10 * 1000000 / 9600);
  EXPECT_EQ(sent.substr(sent.size() - 9), " мкс\r\n");
}

// Each line switching mode sends the frame whole; a pseudo-terminal has no RTS
// or DTR, and the channel goes on without them.
TEST_F(serio_pty, line_switching_modes_send_the_whole_frame) {
  answer_with({{0, ravik_frame(dev_answer())}});
  for (int mode : {1, 2, 0}) {
    ASSERT_TRUE(channel.set_line_control(mode));
    bytes answer;
    EXPECT_TRUE(channel.transact(ravik_payload("dev", true), answer, true)) << mode;
    EXPECT_EQ(answer, dev_answer());
  }
  ASSERT_EQ(line.requests().size(), 3u);
  for (const auto& r : line.requests()) EXPECT_EQ(r, ravik_frame(ravik_payload("dev", true)));
}

// A request the far end has not read yet when the next transaction starts is
// still delivered: the purge takes back nothing that was sent.
TEST_F(serio_pty, purge_keeps_what_was_sent) {
  line.pause(true);
  bytes answer;
  ASSERT_TRUE(channel.transact(ravik_payload("APLY", false, {1}), answer, false));
  ASSERT_TRUE(channel.transact(ravik_payload("APLY", false, {1}), answer, false));
  line.pause(false);
  ASSERT_TRUE(line.wait_requests(2));
  for (const auto& r : line.requests()) EXPECT_EQ(r, ravik_frame(ravik_payload("APLY", false, {1})));
}

// A codec whose frames are one byte long and whose reception is scripted.
class one_byte_codec : public ravik_codec {
 public:
  int encode(const std::vector<uint8_t>&, std::vector<uint8_t>& out) const override {
    out.push_back('\r');
    return static_cast<int>(out.size());
  }
};

TEST_F(serio_pty, one_byte_frame_goes_out_alone_in_every_switching_mode) {
  one_byte_codec codec;
  channel.codec = &codec;
  std::size_t sent = 0;
  for (int mode : {1, 2}) {
    ASSERT_TRUE(channel.set_line_control(mode));
    bytes answer;
    EXPECT_TRUE(channel.transact({}, answer, false));
    ASSERT_TRUE(line.wait_requests(++sent));
  }
  ASSERT_EQ(line.requests().size(), 2u);
  EXPECT_EQ(line.requests()[1], bytes{'\r'});
}

TEST_F(serio_pty, set_line_control_refuses_unknown_modes) {
  for (int mode : {-1, 3, 100}) {
    EXPECT_FALSE(channel.set_line_control(mode));
    EXPECT_EQ(channel.status(), serio_bad_line_control);
  }
  EXPECT_EQ(channel.line_control(), 0);
}

TEST(serio_status, operations_on_a_closed_or_missing_port) {
  log_capture log;
  serio channel;
  ravik_codec codec;
  channel.codec = &codec;
  bytes answer;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_not_open);
  channel.close();
  EXPECT_EQ(channel.status(), serio_not_open);
  EXPECT_FALSE(channel.open(L"/nonexistent/tty-for-serio"));
  EXPECT_EQ(channel.status(), serio_open_failed);
  EXPECT_EQ(channel.os_error(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(log.has("serio(/nonexistent/tty-for-serio): ошибка открытия порта (2)\r\n"));
  // Not a terminal: refused like a missing port.
  EXPECT_FALSE(channel.open(L"/dev/null"));
  EXPECT_EQ(channel.status(), serio_open_failed);
}

TEST_F(serio_pty, open_twice_and_exclusive_open) {
  EXPECT_TRUE(channel.open(L"/nonexistent"));
  EXPECT_EQ(channel.status(), serio_already_open);
  EXPECT_EQ(channel.port_name(), line.slave_wide());

  serio second;
  EXPECT_FALSE(second.open(line.slave_wide()));
  EXPECT_EQ(second.status(), serio_open_failed);
  EXPECT_EQ(second.os_error(), static_cast<uint32_t>(EBUSY));
  channel.close();
  EXPECT_EQ(channel.status(), serio_ok);
  EXPECT_TRUE(second.open(line.slave_wide()));
}

TEST_F(serio_pty, refusals_before_anything_is_sent) {
  bytes answer;
  channel.codec = nullptr;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_no_codec);

  frame_codec base;  // defines no timing at all
  channel.codec = &base;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_no_timing);

  channel.codec = &ravik;
  EXPECT_FALSE(channel.transact({1, 2, 3}, answer, true));  // shorter than a header
  EXPECT_EQ(channel.status(), serio_frame_error);
  EXPECT_TRUE(log.has(tag() + "ошибка создания фрейма (0)\r\n"));
  EXPECT_TRUE(line.requests().empty());
  EXPECT_TRUE(channel.is_open());
}

TEST_F(serio_pty, negative_answer_override_is_refused) {
  bytes answer;
  channel.answer_override = -5;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_no_timing);
}

// Answers that go wrong, each ending in its status and log line.
struct reception_case {
  const char* what;
  std::vector<pty_step> steps;
  int status;
  serio_message_id message;
  const char* log_line;  // after the tag
  int level;
};

void PrintTo(const reception_case& c, std::ostream* os) { *os << c.what; }

class serio_reception : public serio_pty,
                        public ::testing::WithParamInterface<reception_case> {};

TEST_P(serio_reception, ends_with_its_status_and_log_line) {
  const auto& c = GetParam();
  answer_with(c.steps);
  bytes answer{9};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(channel.status(), c.status);
  EXPECT_TRUE(log.has(tag() + c.log_line)) << c.log_line;
  EXPECT_EQ(serio_messages[c.message].level, c.level);
  EXPECT_STREQ(serio_messages[c.message].format + std::strlen("serio(%s): "), c.log_line);
  EXPECT_FALSE(log.has(tag() + "принят правильный кадр\r\n"));
  EXPECT_TRUE(channel.is_open());
  EXPECT_NE(channel.last_reception_end(), 0);
  EXPECT_EQ(answer, bytes{9});
  // Every failure comes after the 50 ms pause and the 70 ms answer time at most
  // plus the port's slack; none waits without end.
  EXPECT_GE(took, ms(50));
  EXPECT_LT(took, ms(2000));
}

bytes dev_frame() {
  return ravik_frame(ravik_payload("dev", false, {'T', '4', 'S', 'K'}));
}
bytes cut(bytes b, std::size_t n) {
  b.resize(b.size() - n);
  return b;
}
bytes bad_check() {
  bytes f = dev_frame();
  f[f.size() - 2] = f[f.size() - 2] == 'G' ? 'H' : 'G';
  return f;
}
bytes bad_char() {
  bytes f = dev_frame();
  f[3] = 'W';
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    answers, serio_reception,
    ::testing::Values(
        reception_case{"silence", {}, serio_no_answer, serio_msg_no_first_byte,
                       "очередной байт пакета не пришел в назначенное время\r\n", 1},
        reception_case{"stops mid-frame", {{0, cut(dev_frame(), 5)}}, serio_answer_timeout,
                       serio_msg_answer_timeout, "таймаут ожидания ответа прибора\r\n", 1},
        reception_case{"wrong check", {{0, bad_check()}}, serio_bad_checksum,
                       serio_msg_receive_error, "ошибка приёма кадра\r\n", 3},
        reception_case{"character outside the alphabet", {{0, bad_char()}}, serio_bad_frame,
                       serio_msg_receive_error, "ошибка приёма кадра\r\n", 3},
        reception_case{"too short", {{0, text_bytes("#GGGGGGGG\r")}}, serio_bad_frame,
                       serio_msg_receive_error, "ошибка приёма кадра\r\n", 3}));

// A frame that keeps coming in pieces, each before the port's time-out, but never
// ends: the answer deadline ends it.
TEST_F(serio_pty, answer_deadline_ends_a_frame_that_never_completes) {
  std::vector<pty_step> steps;
  steps.push_back({0, text_bytes("#GG")});
  for (int i = 0; i < 30; ++i) steps.push_back({10, text_bytes("GH")});
  answer_with(steps);
  bytes answer;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(channel.status(), serio_answer_timeout);
  EXPECT_TRUE(log.has(tag() + "ошибка приёма кадра\r\n"));
  // 50 ms pause, then 70 ms answer time plus the 400 us margin.
  EXPECT_GE(took, ms(120));
}

// The channel lowers its margin each time an answer starts with a byte that
// cannot start a frame: 300, 200, 100 and never below.
TEST_F(serio_pty, rts_margin_steps_down_to_100) {
  answer_with({{0, text_bytes("\x7f")}, {0, dev_frame()}});
  const uint32_t expected[] = {300, 200, 100, 100, 100};
  uint32_t previous = 400;
  const std::string corrected = tag() + "скорректировано время отключения RTS (";
  for (uint32_t margin : expected) {
    log.clear();
    bytes answer;
    EXPECT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
    EXPECT_EQ(answer, dev_answer());
    EXPECT_EQ(channel.rts_margin(), margin);
    EXPECT_EQ(log.has_prefix(corrected), margin != previous);
    if (margin != previous) {
      EXPECT_TRUE(log.has(corrected + std::to_string(margin) + ")\r\n"));
    }
    previous = margin;
  }
  EXPECT_EQ(serio_messages[serio_msg_rts_corrected].level, 3);
  // The margin goes into every conversion.
  EXPECT_EQ(channel.us_to_ticks(1000), 1100 * (serio::counter_frequency() / 1000000));
}

TEST_F(serio_pty, turnaround_is_kept_from_the_end_of_the_last_answer) {
  answer_with({{0, dev_frame()}});
  ASSERT_TRUE(channel.set_turnaround(30000));
  EXPECT_EQ(channel.turnaround_ticks(), channel.us_to_ticks(30000));
  bytes answer;
  ASSERT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
  ASSERT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
  const auto times = line.request_times();
  ASSERT_EQ(times.size(), 2u);
  // The first answer was written right after the first request arrived.
  EXPECT_GE(times[1] - times[0], ms(30));
}

// Modbus RTU: a pause shorter than the gap keeps the frame together; a silence
// of the gap ends it long before the one-second answer time.
TEST(serio_modbus, silence_gap_ends_the_frame) {
  log_capture log;
  pty_line line(8);
  ASSERT_TRUE(line.ok());
  serio channel;
  ASSERT_TRUE(channel.open(line.slave_wide()));
  modbus_rtu_codec rtu;
  channel.codec = &rtu;
  const bytes request{16, 3, 0, 0, 0, 1};
  const bytes reply{16, 3, 2, 0x12, 0x34};
  const bytes frame = rtu_frame(reply);
  const bytes head(frame.begin(), frame.begin() + 3), tail(frame.begin() + 3, frame.end());

  line.set_script([&](const bytes&) { return std::vector<pty_step>{{0, head}, {10, tail}}; });
  bytes answer;
  EXPECT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(answer, reply);
  EXPECT_EQ(line.requests().back(), rtu_frame(request));

  line.set_script([&](const bytes&) { return std::vector<pty_step>{{0, head}, {300, tail}}; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(channel.transact(request, answer, true));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(channel.status(), serio_answer_timeout);
  EXPECT_LT(took, ms(300));
  // The late tail comes and goes before the next request.
  ASSERT_TRUE(line.wait_answered(2));

  // A function the codec cannot size: only the silence after it ends the frame.
  const bytes odd_reply{16, 0x41, 1, 2, 3};
  line.set_script([&](const bytes&) { return std::vector<pty_step>{{0, rtu_frame(odd_reply)}}; });
  EXPECT_TRUE(channel.transact(request, answer, true)) << channel.status();
  EXPECT_EQ(answer, odd_reply);
}

// A codec whose first feed reports a chosen result, for the statuses the real
// codecs reach only rarely.
class scripted_codec : public ravik_codec {
 public:
  feed_result result = feed_result::more;
  int hint = -1;
  feed_result feed(int, const std::vector<uint8_t>&, int& consumed) override {
    consumed = 0;
    return result;
  }
  int read_hint() const override { return hint; }
};

TEST_F(serio_pty, codec_results_map_to_statuses) {
  struct {
    feed_result result;
    int status;
  } const cases[] = {
      {feed_result::bad_checksum, serio_bad_checksum},
      {feed_result::bad_terminator, serio_bad_frame},
      {feed_result::too_short, serio_bad_frame},
      {feed_result::too_long, serio_bad_frame},
      {feed_result::bad_format, serio_bad_frame},
      {feed_result::nothing_received, serio_no_answer},
      {feed_result::unsupported, serio_receive_error},
      {feed_result::bad_argument, serio_receive_error},
  };
  answer_with({{0, dev_frame()}});
  scripted_codec codec;
  channel.codec = &codec;
  for (const auto& c : cases) {
    codec.result = c.result;
    bytes answer;
    EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
    EXPECT_EQ(channel.status(), c.status) << static_cast<int>(c.result);
  }
  codec.result = feed_result::more;
  codec.hint = 0;
  bytes answer;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_zero_read);
}

// A line that hangs up: transmission fails with the OS error kept.
TEST_F(serio_pty, transmission_failures) {
  line.hang_up();
  bytes answer;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_io_error);
  EXPECT_EQ(channel.os_error(), static_cast<uint32_t>(EIO));
  EXPECT_TRUE(log.has(tag() + "ошибка передачи блока (5)\r\n"));

  ASSERT_TRUE(channel.set_line_control(1));
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_io_error);

  one_byte_codec codec;
  channel.codec = &codec;
  EXPECT_FALSE(channel.transact({}, answer, false));
  EXPECT_EQ(channel.status(), serio_io_error);
  EXPECT_TRUE(log.has(tag() + "ошибка передачи символа (5)\r\n"));
  EXPECT_TRUE(channel.is_open());
}

// The far end hangs up in the middle of an answer: the read fails.
TEST_F(serio_pty, hang_up_during_reception) {
  // A long answer time keeps the channel reading until the hang-up.
  channel.answer_override = 1000000;
  answer_with({{0, text_bytes("#GH")}, {300, {}}, {pty_hang_up, {}}});
  bytes answer;
  EXPECT_FALSE(channel.transact(ravik_payload("dev", true), answer, true));
  EXPECT_EQ(channel.status(), serio_io_error);
  EXPECT_EQ(channel.os_error(), static_cast<uint32_t>(EIO));
  EXPECT_TRUE(log.has(tag() + "ошибка ReadFile (5)\r\n"));
}

TEST_F(serio_pty, bytes_left_from_an_earlier_answer_are_discarded) {
  // The first answer comes twice; the copy must not be taken for the second.
  answer_with({{0, dev_frame()}, {0, dev_frame()}});
  bytes answer;
  ASSERT_TRUE(channel.transact(ravik_payload("dev", true), answer, true));
  const bytes ver = ravik_payload("ver", false, {'1', '.', '0'});
  answer_with({{5, ravik_frame(ver)}});
  ASSERT_TRUE(channel.transact(ravik_payload("ver", true), answer, true));
  EXPECT_EQ(answer, ver);
}

// The ports folder names COMn on Linux; the probe finds ports there, busy ones
// included.
TEST(serio_ports, ports_folder_links_and_probe) {
  pty_line line;
  ASSERT_TRUE(line.ok());
  const PortsFolder ports("serio-ports");
  ports.Link(line.slave(), 200);
  ports.Link("/nonexistent/tty", 201);

  EXPECT_EQ(port_device_path(L"COM200"), (ports.path() / "com200").wstring());
  EXPECT_EQ(port_device_path(L"/dev/ttyUSB3"), L"/dev/ttyUSB3");
  EXPECT_EQ(port_device_path(L"COM2"), L"/dev/ttyS1");
  EXPECT_EQ(port_device_path(L"COM33"), L"/dev/ttyUSB0");
  EXPECT_EQ(port_device_path(L"COM70"), L"/dev/ttyACM5");

  serio channel;
  ASSERT_TRUE(channel.open(L"COM200"));
  EXPECT_EQ(channel.port_name(), L"COM200");
  std::vector<int> ports_present = scan_serial_ports();  // COM200 is busy now: still present
  EXPECT_NE(std::find(ports_present.begin(), ports_present.end(), 200), ports_present.end());
  EXPECT_EQ(std::find(ports_present.begin(), ports_present.end(), 201), ports_present.end());
  channel.close();
  ports_present = scan_serial_ports();
  EXPECT_NE(std::find(ports_present.begin(), ports_present.end(), 200), ports_present.end());
}

// Paths reach the POSIX calls as UTF-8: a ports folder named in Cyrillic serves
// like any other. A folder whose name is not UTF-8 has no wide form: the bad
// byte becomes U+FFFD, and the port fails to open with the path in the log
// rather than opening something else.
TEST(serio_ports, folder_names_in_utf8_and_malformed) {
  pty_line line;
  ASSERT_TRUE(line.ok());
  {
    const PortsFolder ports("serio-порты");
    ports.Link(line.slave(), 200);
    EXPECT_EQ(port_device_path(L"COM200"), utf8_to_wide(ports.path().native() + "/com200"));
    serio channel;
    EXPECT_TRUE(channel.open(L"COM200")) << channel.os_error();
  }
  const PortsFolder ports("serio-\xFF");
  ports.Link(line.slave(), 200);
  const std::wstring path = port_device_path(L"COM200");
  EXPECT_NE(path.find(static_cast<wchar_t>(replacement_char)), std::wstring::npos);
  log_capture log;
  serio channel;
  EXPECT_FALSE(channel.open(L"COM200"));
  EXPECT_EQ(channel.status(), serio_open_failed);
  EXPECT_EQ(channel.os_error(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(log.has("serio(" + wide_to_utf8(path) + "): ошибка открытия порта (2)\r\n"));
}

// Whatever comes back on the line, the channel ends each transaction in time,
// with a reception status, and hands out a payload only from a frame that checks.
TEST(serio_random, arbitrary_answers_end_in_a_reception_status) {
  std::mt19937 random(20261209);
  const int allowed[] = {serio_ok, serio_answer_timeout, serio_no_answer, serio_bad_checksum,
                         serio_bad_frame, serio_receive_error};
  for (bool rtu : {false, true}) {
    pty_line line(rtu ? 8 : 0);
    ASSERT_TRUE(line.ok());
    serio channel;
    ASSERT_TRUE(channel.open(line.slave_wide()));
    ravik_codec ravik;
    modbus_rtu_codec modbus;
    channel.codec = rtu ? static_cast<frame_codec*>(&modbus) : &ravik;
    // Modbus waits a second for silence; the override keeps the rounds short.
    if (rtu) channel.answer_override = 200000;
    const bytes request = rtu ? bytes{16, 3, 0, 0, 0, 1} : ravik_payload("dev", true);
    for (int round = 0; round < 12; ++round) {
      // Pieces of a good answer, frame characters and arbitrary bytes.
      std::vector<pty_step> steps;
      const int pieces = static_cast<int>(random() % 4);
      for (int i = 0; i < pieces; ++i) {
        bytes piece;
        switch (random() % 3) {
          case 0: piece = rtu ? rtu_frame({16, 3, 2, 1, 2}) : dev_frame(); break;
          case 1: piece = text_bytes(rtu ? "\x10\x03" : "#GHIJKLMNOPQRSTUV\r"); break;
          default:
            for (unsigned n = random() % 40; n > 0; --n) piece.push_back(static_cast<uint8_t>(random()));
        }
        if (!piece.empty()) piece.resize(1 + random() % piece.size());
        steps.push_back({static_cast<int>(random() % 20), piece});
      }
      line.set_script([steps](const bytes&) { return steps; });
      bytes answer;
      const auto start = std::chrono::steady_clock::now();
      const bool ok = channel.transact(request, answer, true);
      const auto took = std::chrono::steady_clock::now() - start;
      EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), channel.status()),
                std::end(allowed))
          << channel.status();
      EXPECT_EQ(ok, channel.status() == serio_ok);
      if (ok) {
        EXPECT_GE(answer.size(), rtu ? 2u : 4u);
      }
      EXPECT_LT(took, ms(3000));
      EXPECT_GE(channel.rts_margin(), 100u);
      ASSERT_TRUE(line.wait_answered(round + 1u));  // the script's last piece is out
    }
  }
}

}  // namespace
