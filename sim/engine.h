// One converter's behaviour without any I/O: bytes in, answers out. The Simulator
// drives one per converter on the line from the pseudo-terminal; the fuzz target and
// tests drive it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "sim/wire.h"

namespace kv4t::sim {

// One answer to put on the line after delay_ms.
struct Reply {
  bytes data;
  int delay_ms = 0;
};

class Engine {
 public:
  explicit Engine(const ConverterOptions& options);

  // Bytes received from the computer at the right line settings, at time now_us
  // (a monotonic clock); answers are appended to out.
  void receive(const std::uint8_t* data, std::size_t n, std::int64_t now_us, std::vector<Reply>& out);
  // Called when the line has been quiet until now_us: ends a Modbus RTU frame.
  void idle(std::int64_t now_us, std::vector<Reply>& out);
  // When idle() should be called next (monotonic microseconds), or -1.
  std::int64_t idle_deadline_us() const;
  // n bytes arrived while the computer's line settings differed from the converter's.
  void ignore_bytes(std::size_t n, const std::string& why);

  void set_faults(const Faults& faults);
  const State& state() const { return state_; }
  // True once after every change of the state.
  bool take_changed();

  // The state as JSON, and back. load_state keeps the current value of anything the
  // text does not give; false (and nothing changed) when the text is not a state.
  std::string state_json() const;
  bool load_state(const std::string& text, std::string* error);
  // Replaces the state as a whole (one converter of a bus state file).
  void restore(State state);

  std::function<void(const std::string&)> log;

 private:
  void note(const std::string& line) const;
  void count(const std::string& name);
  void garbled(const std::string& why, const std::uint8_t* p, std::size_t n);
  void receive_text(std::uint8_t c, std::vector<Reply>& out);
  void rtu_try(std::vector<Reply>& out, bool at_gap);
  bool addressed_here(const bytes& payload) const;
  void handle_ravik(const bytes& payload, std::vector<Reply>& out);
  void handle_modbus(const bytes& pdu, std::vector<Reply>& out);
  void apply_settings();
  bool answer_faults_apply(const std::string& name) const;
  bool pass_faults(const std::string& name);
  void send(const std::string& name, bytes frame, std::vector<Reply>& out);
  void reset_receiver();

  State state_;
  Faults faults_;
  int skip_left_ = 0;
  std::mt19937 loss_random_;
  bool changed_ = true;
  bytes rx_;               // frame being received
  bytes ravik_watch_;      // RAVIK frames seen while speaking Modbus (counted, not answered)
  std::int64_t last_rx_us_ = 0;
};

}  // namespace kv4t::sim
