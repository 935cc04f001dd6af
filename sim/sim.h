// kv4t-sim in process: a simulated KV4T converter behind a pseudo-terminal.
//
// A Simulator opens a pseudo-terminal, answers on its own thread as the converter
// does on its RS-232 side (or as several converters on one bus do, behind the
// adaptor's echo and latency when asked), and stops cleanly when asked (or when
// destroyed). Tests open slave_path() like any serial port, set its line settings,
// write requests and read answers; state() shows what a converter holds and how
// many requests of each name it has seen.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/sim_constants.h"

namespace kv4t::sim {

// Line settings of one side of the line.
struct LineSettings {
  int baud = kFactoryBaud;
  int bits = kFactoryBits;            // 7 or 8
  Parity parity = kFactoryParity;
  int stop_bits = kFactoryStopBits;   // 1 or 2
  bool operator==(const LineSettings&) const = default;
};

// Faults the converter can be told to show. Unless `only` names some requests, a
// fault touches every answer; with `only`, the answer-changing faults (noise,
// truncation, wrong check, request flag, skipped requests, extra delay) touch just
// the requests of those names ("dev", "BPS", ... or "modbus:3", "modbus:5").
struct Faults {
  bool silent = false;                 // answers nothing at all
  std::vector<std::string> no_answer;  // names that get no answer
  int noise_bytes = 0;                 // bytes of line noise sent before each answer
  int truncate_bytes = 0;              // bytes cut off the end of each answer
  bool bad_check = false;              // answers carry a wrong check (CRC / LRC)
  bool request_flag = false;           // RAVIK answers come with the request flag set
  int skip_requests = 0;               // the first N answerable requests go unanswered
  int extra_delay_ms = 0;              // added to the answer delay
  std::vector<std::string> only;       // restricts the answer faults to these names
  // Each answerable request goes unanswered with this probability (percent), drawn
  // from a generator started from loss_seed, so that a run can be repeated.
  double loss_percent = 0;
  unsigned loss_seed = 1;
};

// What one converter on the line starts with.
struct ConverterOptions {
  LineSettings line;
  int address = kFactoryAddress;
  int alen = kFactoryAlen;             // 8 or 11
  Protocol protocol = kFactoryProtocol;
  int delay_ms = kFactoryDelayMs;
  std::string device{kFactoryDevice};
  std::string version{kFactoryVersion};
  std::string loop_device{kFactoryLoopDevice};
  std::string loop_version{kFactoryLoopVersion};
  int loop_baud = kFactoryLoopBaud;
  int loop_bits = kFactoryLoopBits;
  Parity loop_parity = kFactoryLoopParity;
  int loop_stop_bits = kFactoryLoopStopBits;
  int loop_poll = kFactoryLoopPoll;
  // Holding registers 0x00..0xFF: value, or -1 for a register that is not readable.
  std::array<int, kRegisterCount> registers = factory_registers();
  Faults faults;

  static std::array<int, kRegisterCount> factory_registers() {
    std::array<int, kRegisterCount> r{};
    for (int i = 0; i < kRegisterCount; ++i) r[static_cast<std::size_t>(i)] = factory_register(i);
    return r;
  }
};

// Everything the simulator starts with; the program's options fill it. The fields it
// inherits describe the one converter on the line, unless `bus` names several.
struct Options : ConverterOptions {
  // Several converters on one line, each with its own settings and state; every one
  // hears what the computer sends, and only those the request is for answer. Empty:
  // the line has the one converter described above.
  std::vector<ConverterOptions> bus;
  // A two-wire RS-485 adaptor whose receiver stays on: the computer hears every byte
  // it sends, at once, before any answer.
  bool echo = false;
  // A USB adaptor's latency timer: bytes for the computer (answers and echo) wait
  // for the next tick of this period and go out together; 0 = at once.
  int latency_ms = 0;
  std::string state_file;  // JSON state: loaded at start when it exists, kept current
  std::string link_path;   // made a symbolic link to the slave while running
  bool enforce_line = true;  // ignore input while the computer's line settings differ
  std::FILE* log = nullptr;  // request log (the program passes stderr); null = quiet
};

// One stored parameter: an integer (for coded parameters, the converter's code) or a text.
struct ParamValue {
  bool is_text = false;
  long long number = 0;
  std::string text;
  bool operator==(const ParamValue&) const = default;
};

// What the converter holds now.
struct State {
  // In force on the line (changed by "APLY" and the Modbus wake-up).
  LineSettings line;
  int address = kFactoryAddress;
  int alen = kFactoryAlen;
  Protocol protocol = kFactoryProtocol;
  int delay_ms = kFactoryDelayMs;
  // Stored parameters by their canonical name ("BPS", "dEv.L", ...), as written on the wire.
  std::map<std::string, ParamValue> params;
  std::array<int, kRegisterCount> registers{};
  // Requests seen, by name ("dev", "APLY", "modbus:3", or "#XXXX" for unknown identifiers).
  std::map<std::string, long> requests;
  long answers = 0;         // answers sent
  long ignored_bytes = 0;   // bytes received while the computer's line settings differed
  long ignored_frames = 0;  // good frames not for this converter (address, protocol, name)
  long garbled_frames = 0;  // frames that failed their check or made no sense
  long lost_answers = 0;    // answers withheld by the loss_percent fault

  long count(std::string_view name) const {
    auto it = requests.find(std::string(name));
    return it == requests.end() ? 0 : it->second;
  }
  // The stored integer of a parameter, or -1 when missing; the setting value behind a
  // coded parameter's code, or -1 when the code is outside its table.
  long long number(std::string_view name) const;
  int setting(std::string_view name) const;
  std::string text(std::string_view name) const;
};

class Engine;

class Simulator {
 public:
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the pseudo-terminal, loads the state file, makes the link and starts the
  // answering thread. False with a reason in *error when something fails.
  bool start(std::string* error = nullptr);
  // Stops the thread, removes the link, closes the pseudo-terminal. Idempotent.
  void stop();

  const std::string& slave_path() const { return slave_path_; }
  // How many converters the line has, and what one of them holds (in the order of
  // Options::bus; the first when not given).
  std::size_t converter_count() const;
  State state(std::size_t converter = 0) const;
  long request_count(std::string_view name, std::size_t converter = 0) const { return state(converter).count(name); }
  // Waits until the named request has been seen at least n times; false on time-out.
  bool wait_for_requests(std::string_view name, long n, int timeout_ms, std::size_t converter = 0) const;
  // How many times the converter has looked at the computer's closes of the port
  // (and cleared an exclusive open nobody holds any more); waits up to timeout_ms
  // until it has done so more than n times, false on time-out.
  long closes_handled() const;
  bool wait_for_closes_handled(long n, int timeout_ms) const;
  // Replaces the fault set of every converter while running.
  void set_faults(const Faults& faults);

 private:
  void run();
  void watch_closes();
  bool others_hold_slave() const;
  bool write_to_computer(const std::uint8_t* data, std::size_t n);
  std::string state_text() const;
  bool load_state_text(const std::string& text, std::string* error);

  Options options_;
  std::string slave_path_;
  int master_fd_ = -1;
  int slave_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  int watch_fd_ = -1;  // inotify on the slave: the computer's closes
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  bool linked_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable closes_cv_;
  long closes_handled_ = 0;  // guarded by mutex_
  std::vector<std::unique_ptr<Engine>> engines_;
};

// Text forms used by the options and the state file.
const char* parity_name(Parity p);
const char* protocol_name(Protocol p);
bool parse_parity(std::string_view text, Parity& out);
bool parse_protocol(std::string_view text, Protocol& out);

}  // namespace kv4t::sim
