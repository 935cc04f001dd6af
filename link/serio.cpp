#include "link/serio.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "common/unicode.h"
#include "link/diag_log.h"
#include "link/port_names.h"

const serio_message serio_messages[serio_msg_count] = {
    {1, "serio(%s): ошибка открытия порта (%u)\r\n"},
    {1, "serio(%s): установлены новые параметры обмена %u %u-%c-%s\r\n"},
    {1, "serio(%s): ошибка создания фрейма (%u)\r\n"},
    {1, "serio(%s): ошибка передачи блока (%u)\r\n"},
    {1, "serio(%s): ошибка передачи символа (%u)\r\n"},
    {1, "serio(%s): передача блока заняла %u мкс\r\n"},
    {1, "serio(%s): очередной байт пакета не пришел в назначенное время\r\n"},
    {3, "serio(%s): скорректировано время отключения RTS (%u)\r\n"},
    {1, "serio(%s): ошибка ReadFile (%u)\r\n"},
    {1, "serio(%s): таймаут ожидания ответа прибора\r\n"},
    {1, "serio(%s): приём блока занял %u мкс\r\n"},
    {1, "serio(%s): принят правильный кадр\r\n"},
    {3, "serio(%s): ошибка приёма кадра\r\n"},
    {1, "serio(%s): порт возвращает переданные байты (эхо), эхо каждого запроса отбрасывается\r\n"},
};

namespace {

// The counter frequency and the spin threshold, read once for every channel.
int64_t g_frequency = 0;
int64_t g_spin_ticks = 0;
std::once_flag g_counter_once;

void init_counter() {
  std::call_once(g_counter_once, [] {
    int64_t f = 0;
    if (!port_counter_frequency(f) || f < 0) f = 0;
    g_frequency = f;
    g_spin_ticks = f / 1500;
  });
}

int status_of(feed_result r) {
  switch (r) {
    case feed_result::more: return serio_answer_timeout;
    case feed_result::nothing_received: return serio_no_answer;
    case feed_result::bad_checksum: return serio_bad_checksum;
    case feed_result::bad_terminator:
    case feed_result::too_short:
    case feed_result::too_long:
    case feed_result::bad_format: return serio_bad_frame;
    default: return serio_receive_error;
  }
}

// Bytes still queued after the purge are read away at most this far, so a line
// that never stops talking cannot hold a transaction forever.
constexpr uint32_t discard_limit = 65536;
// The largest single read the channel makes, whatever a codec hints.
constexpr int read_limit = 4096;
// Longest answer time honoured, in microseconds (an hour).
constexpr int64_t answer_limit_us = 3600LL * 1000000;

}  // namespace

serio::serio() { init_counter(); }

serio::~serio() {
  if (port_) {
    port_close(port_);
    port_ = nullptr;
  }
}

int64_t serio::counter_frequency() {
  init_counter();
  return g_frequency;
}

int64_t serio::us_to_ticks(int64_t us) const {
  const int64_t total = us + static_cast<int64_t>(rts_margin_);
  // Counters slower than 1 MHz would truncate the per-microsecond quotient to 0.
  if (g_frequency >= 1000000) return total * (g_frequency / 1000000);
  return total * g_frequency / 1000000;
}

int64_t serio::ticks_to_us(int64_t ticks) {
  init_counter();
  if (g_frequency <= 0) return 0;
  return ticks * 1000000 / g_frequency;
}

int64_t serio::now() {
  int64_t t = 0;
  if (!port_counter(t)) return 0;
  return t;
}

void serio::log(int id, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, id);
  int n = std::vsnprintf(buffer, sizeof buffer, serio_messages[id].format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof buffer) {
    diag_log(serio_messages[id].level, "%s", buffer);
    return;
  }
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  va_start(args, id);
  std::vsnprintf(text.data(), text.size(), serio_messages[id].format, args);
  va_end(args);
  text.resize(static_cast<std::size_t>(n));
  diag_log(serio_messages[id].level, "%s", text.c_str());
}

bool serio::open(const std::wstring& name) {
  if (port_) {
    status_ = serio_already_open;
    return true;
  }
  const std::wstring path = port_device_path(name);
  port_handle* port = port_open(path);
  if (!port) {
    os_error_ = port_last_error();
    status_ = serio_open_failed;
    log(serio_msg_open_error, wide_to_utf8(path).c_str(), static_cast<unsigned>(os_error_));
    return false;
  }
  port_ = port;
  answer_override = 0;
  echo_ = serio_echo::unknown;
  port_name_ = name;
  log_name_ = wide_to_utf8(name);
  status_ = serio_ok;
  std::lock_guard<std::mutex> lock(settings_lock_);
  // A fresh handle carries none of the time-outs set on the previous one.
  timeouts_baud_ = -1;
  apply_params();
  return true;
}

void serio::close() {
  if (!port_) {
    status_ = serio_not_open;
    return;
  }
  port_close(port_);
  port_ = nullptr;
  status_ = serio_ok;
}

// Sends the stored line parameters to the open port; the settings lock is held.
void serio::apply_params() {
  port_line line;
  line.baud = static_cast<uint32_t>(baud_);
  line.bytesize = static_cast<uint8_t>(bytesize_);
  line.parity = static_cast<uint8_t>(parity_);
  line.stopbits = static_cast<uint8_t>(stopbits_);
  if (!port_set_line(port_, line)) os_error_ = port_last_error();
  port_purge(port_);
  if (baud_ != timeouts_baud_) {
    timeouts_baud_ = baud_;
    port_timeouts idle;
    idle.read_interval = port_maxdword;
    idle.read_total_multiplier = port_maxdword;
    idle.read_total_constant = 25;
    idle.write_total_multiplier = 0;
    idle.write_total_constant = 500;
    if (!port_set_timeouts(port_, idle)) os_error_ = port_last_error();
  }
  char_ticks_ = static_cast<int64_t>(bytesize_ + framing_bits_) * g_frequency / baud_;
  static const char parity_letters[] = {'n', 'o', 'e'};
  static const char* const stop_texts[] = {"1", "1.5", "2"};
  log(serio_msg_params, log_name_.c_str(), static_cast<unsigned>(baud_),
      static_cast<unsigned>(bytesize_), parity_letters[parity_], stop_texts[stopbits_]);
}

bool serio::set_params(int baud, int bytesize, int parity, int stopbits) {
  std::lock_guard<std::mutex> lock(settings_lock_);
  if (baud == baud_ && bytesize == bytesize_ && parity == parity_ && stopbits == stopbits_)
    return true;
  if (!is_standard_baud_rate(baud)) {
    status_ = serio_bad_baud;
    return false;
  }
  if (bytesize < 7 || bytesize > 8) {
    status_ = serio_bad_bytesize;
    return false;
  }
  if (stopbits != 0 && stopbits != 2) {
    status_ = serio_bad_stopbits;
    return false;
  }
  if (parity < 0 || parity > 2) {
    status_ = serio_bad_parity;
    return false;
  }
  baud_ = baud;
  bytesize_ = bytesize;
  parity_ = parity;
  stopbits_ = stopbits;
  framing_bits_ = (stopbits == 0 ? 2 : 3) + (parity != 0 ? 1 : 0);
  if (port_) apply_params();
  return true;
}

bool serio::set_line_control(int mode) {
  if (mode < serio_line_none || mode > serio_line_dtr) {
    status_ = serio_bad_line_control;
    return false;
  }
  std::lock_guard<std::mutex> lock(settings_lock_);
  line_control_ = mode;
  status_ = serio_ok;
  return true;
}

bool serio::set_turnaround(int microseconds) {
  turnaround_ = us_to_ticks(microseconds);
  if (turnaround_ < 0) turnaround_ = 0;
  return true;
}

bool serio::wait_until(int64_t deadline) {
  int64_t t = 0;
  if (!port_counter(t)) return false;
  while (t < deadline) {
    if (deadline - t > g_spin_ticks) port_sleep(0);
    if (!port_counter(t)) return false;
  }
  return true;
}

// Drops the line that mode raised; a mode changed meanwhile must not leave the
// transmitter switched on.
void serio::drop_line(int mode) {
  port_escape(port_, mode == serio_line_dtr ? port_line_op::clear_dtr : port_line_op::clear_rts);
}

bool serio::transact(const std::vector<uint8_t>& request, std::vector<uint8_t>& answer,
                     bool expect_answer) {
  os_error_ = 0;
  const bool learn = learn_echo && echo_ == serio_echo::unknown;
  learn_echo = false;
  echo_delay_us_ = -1;
  if (!port_) {
    status_ = serio_not_open;
    return false;
  }
  if (!codec) {
    status_ = serio_no_codec;
    return false;
  }
  int baud, bits, mode;
  int64_t char_ticks;
  {
    std::lock_guard<std::mutex> lock(settings_lock_);
    baud = baud_;
    bits = bytesize_ + framing_bits_;
    mode = line_control_;
    char_ticks = char_ticks_;
  }
  if (codec->timing(codec_timing_guard, baud, bits, 0) < 0) {
    status_ = serio_no_timing;
    return false;
  }
  int64_t answer_us = answer_override;
  if (answer_us == 0) answer_us = codec->timing(codec_timing_answer, baud, bits, 0);
  if (answer_us < 0) {
    status_ = serio_no_timing;
    return false;
  }
  answer_us = std::min(answer_us, answer_limit_us);
  const int gap_us = codec->timing(codec_timing_gap, baud, bits, 0);
  int64_t gap_ticks = 0;
  uint32_t gap_ms;
  if (gap_us > 0) {
    gap_ticks = us_to_ticks(gap_us);
    gap_ms = static_cast<uint32_t>(gap_us / 1000);
  } else {
    gap_ms = static_cast<uint32_t>(answer_us / 1000);
  }
  const int64_t answer_ticks = us_to_ticks(answer_us);

  port_timeouts timeouts;
  port_get_timeouts(port_, timeouts);
  timeouts.read_interval = port_maxdword;
  timeouts.read_total_multiplier = port_maxdword;
  timeouts.read_total_constant =
      first_byte_ms != 0 ? first_byte_ms : static_cast<uint32_t>(answer_us / 1000 + 10);
  port_set_timeouts(port_, timeouts);
  status_ = serio_ok;
  port_purge(port_);
  // Whatever the purge left in the input queue is read away.
  for (uint32_t discarded = 0; discarded < discard_limit;) {
    uint32_t queued = 0;
    if (!port_input_queue(port_, queued) || queued == 0) break;
    uint8_t scrap[64];
    uint32_t got = 0;
    if (!port_read(port_, scrap, std::min<uint32_t>(queued, sizeof scrap), got) || got == 0)
      break;
    discarded += got;
  }

  if (turnaround_ != 0 && last_reception_end_ != 0)
    wait_until(last_reception_end_ + turnaround_);

  std::vector<uint8_t> frame;
  if (codec->encode(request, frame) < 0) {
    status_ = serio_frame_error;
    log(serio_msg_frame_error, log_name_.c_str(), static_cast<unsigned>(os_error_));
    return false;
  }
  const int64_t frame_ticks = static_cast<int64_t>(frame.size() + 1) * char_ticks;
  const int64_t send_start = now();
  sent_end_ = send_start + frame_ticks;
  const uint32_t frame_size = static_cast<uint32_t>(frame.size());

  if (mode == serio_line_none) {
    const int64_t deadline = now() + frame_ticks;
    uint32_t written = 0;
    if (!port_write(port_, frame.data(), frame_size, written) || written != frame_size) {
      os_error_ = port_last_error();
      status_ = serio_io_error;
      log(serio_msg_block_error, log_name_.c_str(), static_cast<unsigned>(os_error_));
      return false;
    }
    wait_until(deadline);
  } else {
    saved_priority_ = port_thread_priority();
    port_set_thread_priority(port_priority_above_normal);
    // A port without modem lines (a pseudo-terminal) refuses this; the frame goes
    // out all the same.
    port_escape(port_, mode == serio_line_dtr ? port_line_op::set_dtr : port_line_op::set_rts);
    const int64_t deadline = now() + frame_ticks;
    if (frame_size > 1) {
      uint32_t written = 0;
      if (!port_write(port_, frame.data(), frame_size - 1, written) ||
          written != frame_size - 1) {
        os_error_ = port_last_error();
        drop_line(mode);
        port_set_thread_priority(saved_priority_);
        log(serio_msg_block_error, log_name_.c_str(), static_cast<unsigned>(os_error_));
        status_ = serio_io_error;
        return false;
      }
    }
    // A codec that built an empty frame leaves no last byte to send.
    if (!frame.empty() && !port_transmit_char(port_, frame.back())) {
      os_error_ = port_last_error();
      drop_line(mode);
      last_reception_end_ = now();
      port_set_thread_priority(saved_priority_);
      log(serio_msg_char_error, log_name_.c_str(), static_cast<unsigned>(os_error_));
      status_ = serio_io_error;
      return false;
    }
    wait_until(deadline);
    drop_line(mode);
    port_set_thread_priority(saved_priority_);
  }
  log(serio_msg_sent, log_name_.c_str(), static_cast<unsigned>(ticks_to_us(now() - send_start)));

  if (!expect_answer) {
    // On a port that echoes, the echo of a request that gets no answer is read
    // away here, within the first-byte time-out: an adaptor's latency timer may
    // hold it past the next request's purge (or past closing and reopening the
    // port), and the next answer would then begin with it.
    if (echo_ == serio_echo::present) {
      std::vector<uint8_t> rest;
      bool dropped = false;
      if (take_echo(frame, false, rest, dropped)) last_reception_end_ = now();
    }
    status_ = serio_ok;
    return true;
  }
  return receive(frame, learn, answer, gap_ticks, gap_ms, answer_ticks, timeouts);
}

// Reads away the echo of frame while the first-byte time-out is in force: bytes
// that repeat the frame from its start, across reads (an adaptor's latency timer
// may hand over the echo and the answer in one burst). When learning, a complete
// copy means the port echoes, anything else (silence included) that it does not.
// The bytes received after the echo, or from the first one that differs, are the
// answer's first bytes: they land in rest. dropped tells whether a whole echo was
// read away. False when not a byte arrived: the port is silent, whatever it may
// echo.
bool serio::take_echo(const std::vector<uint8_t>& frame, bool learn, std::vector<uint8_t>& rest,
                      bool& dropped) {
  rest.clear();
  dropped = false;
  std::size_t matched = 0;
  std::vector<uint8_t> buffer(frame.size());
  while (matched < frame.size()) {
    uint32_t got = 0;
    if (!port_read(port_, buffer.data(), static_cast<uint32_t>(frame.size() - matched), got) ||
        got == 0) {
      if (matched == 0) {
        if (learn) echo_ = serio_echo::absent;
        return false;
      }
      break;
    }
    std::size_t i = 0;
    while (i < got && buffer[i] == frame[matched]) ++i, ++matched;
    if (i < got) {
      rest.assign(buffer.begin() + static_cast<std::ptrdiff_t>(i),
                  buffer.begin() + static_cast<std::ptrdiff_t>(got));
      break;
    }
  }
  if (matched == frame.size() && !frame.empty()) {
    dropped = true;
    echo_delay_us_ = std::max<int64_t>(0, ticks_to_us(now() - sent_end_));
    if (learn) {
      echo_ = serio_echo::present;
      log(serio_msg_echo, log_name_.c_str());
    }
    return true;
  }
  // A partial echo is no echo: its bytes are the answer's as far as the codec is
  // concerned, and it will refuse them.
  if (matched > 0)
    rest.insert(rest.begin(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(matched));
  if (learn) echo_ = serio_echo::absent;
  return true;
}

bool serio::fail_reception(feed_result result) {
  last_reception_end_ = now();
  status_ = status_of(result);
  log(serio_msg_receive_error, log_name_.c_str());
  return false;
}

bool serio::receive(const std::vector<uint8_t>& frame, bool learn, std::vector<uint8_t>& answer,
                    int64_t gap_ticks, uint32_t gap_ms, int64_t answer_ticks,
                    port_timeouts& timeouts) {
  port_sleep(read_pause_ms);
  codec->reset();
  int64_t receive_start = now();
  int64_t deadline = receive_start + answer_ticks;

  // The answer's first bytes: after the echo, when the port echoes (or may).
  std::vector<uint8_t> chunk;
  bool heard = true;
  if (learn || echo_ == serio_echo::present) {
    bool dropped = false;
    heard = take_echo(frame, learn, chunk, dropped);
    // The converter starts its answer when the request has reached it, and an
    // adaptor's latency timer holds the echo as long as it holds the answer: the
    // answer's time, and the reception the log reports, run from the echo's end.
    if (dropped) {
      receive_start = now();
      deadline = receive_start + answer_ticks;
    }
  }
  uint32_t got = static_cast<uint32_t>(chunk.size());
  bool read_ok = true;
  if (heard && chunk.empty()) {
    chunk.resize(1);
    read_ok = port_read(port_, chunk.data(), 1, got);
  }
  if (!read_ok || got == 0) {
    if (!read_ok) os_error_ = port_last_error();
    last_reception_end_ = now();
    log(serio_msg_no_first_byte, log_name_.c_str());
    status_ = serio_no_answer;
    return false;
  }
  // A first byte that cannot start a frame is most often the tail of our own
  // transmission echoed by an adaptor whose transmitter was switched off late:
  // the margin added to every interval shrinks, down to 100 us.
  if (!codec->is_frame_start(chunk[0]) && rts_margin_ > 100) {
    rts_margin_ -= 100;
    log(serio_msg_rts_corrected, log_name_.c_str(), static_cast<unsigned>(rts_margin_));
  }
  timeouts.read_total_constant = gap_ms + 10;
  port_set_timeouts(port_, timeouts);
  int64_t last_byte = now();

  const std::vector<uint8_t> none;
  std::vector<uint8_t> buffer;
  for (;;) {
    int consumed = 0;
    feed_result r = codec->feed(0, chunk, consumed);
    if (r != feed_result::more) {
      if (r != feed_result::frame_ok) return fail_reception(r);
      break;
    }
    const int64_t t = now();
    if ((gap_ticks != 0 && t - last_byte >= gap_ticks) || t >= deadline) {
      r = codec->feed(1, none, consumed);
      if (r != feed_result::frame_ok) return fail_reception(r);
      break;
    }
    port_sleep(0);

    const int hint = codec->read_hint();
    int n = hint < 0 ? 1 : hint;
    if (n == 0) {
      last_reception_end_ = now();
      status_ = serio_zero_read;
      return false;
    }
    n = std::min(n, read_limit);
    buffer.resize(static_cast<std::size_t>(n));
    got = 0;
    if (!port_read(port_, buffer.data(), static_cast<uint32_t>(n), got)) {
      os_error_ = port_last_error();
      log(serio_msg_read_error, log_name_.c_str(), static_cast<unsigned>(os_error_));
      last_reception_end_ = now();
      status_ = serio_io_error;
      return false;
    }
    if (got == 0) {
      // The port waited the gap and more in silence. A frame whose length the
      // codec cannot tell (Modbus RTU with a function it does not know) ends by
      // that silence; one whose length it knows and that stopped short has timed
      // out, even if the bytes so far happen to check.
      if (gap_ticks != 0 && hint < 0 && codec->feed(1, none, consumed) == feed_result::frame_ok)
        break;
      log(serio_msg_answer_timeout, log_name_.c_str());
      last_reception_end_ = now();
      status_ = serio_answer_timeout;
      return false;
    }
    last_byte = now();
    chunk.assign(buffer.begin(), buffer.begin() + got);
  }

  last_reception_end_ = now();
  codec->take_payload(answer);
  log(serio_msg_received, log_name_.c_str(),
      static_cast<unsigned>(ticks_to_us(now() - receive_start)));
  log(serio_msg_frame_ok, log_name_.c_str());
  status_ = serio_ok;
  return true;
}

int serial_port_number(const std::wstring& name) { return com_port_number(name); }

std::wstring serial_port_name(int number) { return L"COM" + std::to_wstring(number); }

std::vector<int> scan_serial_ports() {
  std::vector<int> ports;
  for (int n = 1; n <= 255; ++n) {
    port_handle* port = port_open(port_device_path(serial_port_name(n)));
    if (port) {
      port_close(port);
      ports.push_back(n);
    } else if (port_error_means_present(port_last_error())) {
      ports.push_back(n);
    }
  }
  return ports;
}

namespace {
std::once_flag g_ports_once;
std::vector<int> g_ports;
}  // namespace

void list_serial_ports(std::vector<int>& ports) {
  std::call_once(g_ports_once, [] { g_ports = scan_serial_ports(); });
  ports = g_ports;
}

bool serial_port_present(const std::wstring& name) {
  const int n = serial_port_number(name);
  if (n < 0) return false;
  std::vector<int> ports;
  list_serial_ports(ports);
  return std::find(ports.begin(), ports.end(), n) != ports.end();
}
