// serio: the serial channel through which every request reaches a converter. It
// owns one port, sets its line parameters and performs one request/answer
// transaction at a time with counter-tick timing, framing the bytes through a
// codec its owner lends it. For RS-232/RS-485 adaptors it switches RTS or DTR
// around each transmission, and it shortens its own timing margin when answers
// arrive with a garbled first byte. Every step goes to the diagnostic log as a
// line "serio(<port>): ...".
//
// Beside the channel: the small port-name helpers of the computer-port page. The
// baud rates the channel accepts are the standard ones of common/baud_rates.h.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/baud_rates.h"
#include "link/frame_codec.h"
#include "link/port.h"

// What the last operation of a channel came to (serio::status()).
enum serio_status : int {
  serio_ok = 0,
  serio_open_failed = 2,        // the port could not be opened
  serio_not_open = 3,           // the port is not open
  serio_bad_baud = 4,           // baud rate not in standard_baud_rates
  serio_bad_bytesize = 5,       // byte size outside 7..8
  serio_bad_parity = 6,         // parity outside 0..2
  serio_bad_stopbits = 7,       // stop bits neither 0 nor 2
  serio_bad_line_control = 8,   // line control mode outside 0..2
  serio_already_open = 9,       // open on a channel that is already open
  serio_no_codec = 10,          // no codec lent
  serio_io_error = 11,          // a write, character transmission or read failed
  serio_frame_error = 12,       // the codec could not build the frame
  serio_no_timing = 13,         // the codec has no guard or answer timing
  serio_answer_timeout = 14,    // no complete answer within the time
  serio_no_answer = 15,         // not a single byte of the answer arrived
  serio_bad_checksum = 16,      // answer checksum wrong
  serio_receive_error = 18,     // other reception error
  serio_bad_frame = 20,         // answer frame malformed
  serio_zero_read = 21,         // the codec asked for a read of 0 bytes
};

// What the channel knows of its port's echo: a two-wire RS-485 adaptor whose
// receiver stays on hears every byte the computer sends, before any answer.
enum class serio_echo : int {
  unknown,  // not learned since the port was opened
  present,  // every request comes back first: its echo is dropped
  absent,   // the port does not echo
};

// Line switching around each transmission.
enum serio_line_control : int {
  serio_line_none = 0,  // adaptor switches by itself
  serio_line_rts = 1,   // RTS raised while transmitting
  serio_line_dtr = 2,   // DTR raised while transmitting
};

// The channel's log lines: level and printf format of each (all take the port
// name first). Level 1 is routine, 3 a reception error or a timing correction.
enum serio_message_id : int {
  serio_msg_open_error,        // path, OS error
  serio_msg_params,            // baud, bytesize, parity letter, stop-bit text
  serio_msg_frame_error,       // OS error
  serio_msg_block_error,       // OS error
  serio_msg_char_error,        // OS error
  serio_msg_sent,              // microseconds
  serio_msg_no_first_byte,     //
  serio_msg_rts_corrected,     // new margin
  serio_msg_read_error,        // OS error
  serio_msg_answer_timeout,    //
  serio_msg_received,          // microseconds
  serio_msg_frame_ok,          //
  serio_msg_receive_error,     //
  serio_msg_echo,              // the port was found to echo what is sent
  serio_msg_count
};
struct serio_message {
  int level;
  const char* format;
};
extern const serio_message serio_messages[serio_msg_count];

class serio {
 public:
  serio();
  serio(const serio&) = delete;
  serio& operator=(const serio&) = delete;
  // Closes the port if it is open.
  virtual ~serio();

  // Opens the named port ("COMn", or a device path) exclusively and sends it the
  // line parameters. Already open: status serio_already_open and true, nothing
  // done. Failure: serio_open_failed, the OS error kept, false. What was learned
  // of the previous port's echo is forgotten.
  bool open(const std::wstring& name);
  // Status serio_not_open when it was not open, else serio_ok.
  void close();
  bool is_open() const { return port_ != nullptr; }

  // Validates and stores the line parameters (stopbits 0 one, 2 two; parity 0
  // none, 1 odd, 2 even), sending them to the port when it is open and a value
  // changed. The current values return true at once, port untouched.
  bool set_params(int baud, int bytesize, int parity, int stopbits);
  // serio_line_control; another value: serio_bad_line_control, false.
  bool set_line_control(int mode);
  // The least time from the end of the last reception to the next transmission.
  bool set_turnaround(int microseconds);

  // Sends request framed by the lent codec and, when expect_answer, receives and
  // checks one answer frame, whose payload replaces answer. False on any failure,
  // with status() and os_error() telling why; the port stays open.
  virtual bool transact(const std::vector<uint8_t>& request, std::vector<uint8_t>& answer,
                        bool expect_answer);

  // Waits until the counter reaches deadline (ticks), yielding only while more
  // than the spin threshold remains. False when the counter cannot be read.
  bool wait_until(int64_t deadline);

  // Microseconds to counter ticks; rts_margin is added first.
  int64_t us_to_ticks(int64_t us) const;
  // Counter ticks to microseconds (for the log).
  static int64_t ticks_to_us(int64_t ticks);
  static int64_t counter_frequency();

  // Lent by the owner before each transaction; never freed by the channel.
  frame_codec* codec = nullptr;
  // Microseconds; when non-zero, replaces the codec's answer time.
  int64_t answer_override = 0;
  // Milliseconds the channel lets pass after a transmission before it starts
  // reading the answer. The configurator keeps 50; a bus scan, whose probes mostly
  // go unanswered, reads at once and lets the answer time alone bound the wait.
  uint32_t read_pause_ms = 50;
  // Milliseconds the answer's first byte (and an echo's) is waited for; 0: the
  // answer time / 1000 + 10 ms, the configurator's allowance. A bus scan gives its
  // probe's own bound, the latest moment an answer may begin.
  uint32_t first_byte_ms = 0;
  // Set by the owner for the next transaction only (transact clears it): that
  // transaction may teach the channel whether the port echoes. The owner sets it
  // only for a request that no answer can equal byte for byte (a RAVIK read), so
  // that received bytes beginning with exactly the frame sent can only be its
  // echo; silence or anything else means the port does not echo. Once learned,
  // until the port is closed, the echo of every request is dropped before the
  // codec sees the answer, and the answer's time runs from the end of the echo.
  // Without it the channel learns nothing: a write's echo may equal its
  // acknowledgement.
  bool learn_echo = false;
  serio_echo echo() const { return echo_; }
  // Microseconds from the end of the last transaction's request on the line (its
  // characters' time after the write began) to the end of its echo; -1 when that
  // transaction took no echo. An adaptor that holds received bytes (a USB latency
  // timer) shows its delay here.
  int64_t echo_delay_us() const { return echo_delay_us_; }

  int status() const { return status_; }
  uint32_t os_error() const { return os_error_; }
  int baud() const { return baud_; }
  int bytesize() const { return bytesize_; }
  int parity() const { return parity_; }
  int stopbits() const { return stopbits_; }
  int framing_bits() const { return framing_bits_; }
  int line_control() const { return line_control_; }
  int64_t char_ticks() const { return char_ticks_; }
  uint32_t rts_margin() const { return rts_margin_; }
  int64_t turnaround_ticks() const { return turnaround_; }
  int64_t last_reception_end() const { return last_reception_end_; }
  const std::wstring& port_name() const { return port_name_; }

 private:
  void apply_params();
  void log(int id, ...);  // id: serio_message_id
  int64_t now();
  void drop_line(int mode);
  bool receive(const std::vector<uint8_t>& frame, bool learn, std::vector<uint8_t>& answer,
               int64_t gap_ticks, uint32_t gap_ms, int64_t answer_ticks, port_timeouts& timeouts);
  bool take_echo(const std::vector<uint8_t>& frame, bool learn, std::vector<uint8_t>& rest,
                 bool& dropped);
  bool fail_reception(feed_result result);

  int line_control_ = serio_line_none;
  int baud_ = 9600;
  int bytesize_ = 8;
  int parity_ = 0;
  int stopbits_ = 0;
  int framing_bits_ = 2;
  int64_t char_ticks_ = 0;
  int timeouts_baud_ = -1;
  int status_ = serio_ok;
  uint32_t os_error_ = 0;
  port_handle* port_ = nullptr;
  std::mutex settings_lock_;
  int saved_priority_ = 0;
  uint32_t rts_margin_ = 400;
  int64_t turnaround_ = 0;
  int64_t last_reception_end_ = 0;
  serio_echo echo_ = serio_echo::unknown;
  int64_t sent_end_ = 0;  // ticks: the request's last character on the line
  int64_t echo_delay_us_ = -1;
  std::wstring port_name_;
  std::string log_name_;  // the port name as the log prints it
};

// "COM%u": the port number, or -1 when name does not start with "COM" and a number.
int serial_port_number(const std::wstring& name);
// The name of port number n: "COMn".
std::wstring serial_port_name(int number);

// Fills ports with the numbers (1..255) of the serial ports present, probed once
// per process: a port counts as present when it opens or is refused as busy.
void list_serial_ports(std::vector<int>& ports);
// Whether name is "COMn" with n among list_serial_ports.
bool serial_port_present(const std::wstring& name);
// The probe behind list_serial_ports, run afresh on every call.
std::vector<int> scan_serial_ports();
