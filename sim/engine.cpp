#include "sim/engine.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "sim/params.h"
#include "sim/state_file.h"

namespace kv4t::sim {
namespace {

int parity_setting(Parity p) { return static_cast<int>(p); }
int stop_setting(int stop_bits) { return stop_bits == 2 ? 2 : 0; }

constexpr std::uint8_t kNoise[] = {0x00, 0xFF, 0x7E, 0x55, 0x0A, 0x80};

// Longest frames worth buffering: RAVIK requests are at most 44 characters, Modbus
// ASCII frames at most 513, RTU frames 256 bytes.
constexpr std::size_t kMaxRavikFrame = 64;
constexpr std::size_t kMaxAsciiFrame = 600;
constexpr std::size_t kMaxRtuFrame = 256;

std::int64_t char_us(const LineSettings& line) {
  const int bits = 1 + line.bits + (line.parity == Parity::none ? 0 : 1) + line.stop_bits;
  return line.baud > 0 ? 1000000LL * bits / line.baud : 1000;
}

}  // namespace

Engine::Engine(const ConverterOptions& o)
    : faults_(o.faults), skip_left_(o.faults.skip_requests), loss_random_(o.faults.loss_seed) {
  state_.line = o.line;
  state_.address = o.address;
  state_.alen = o.alen == 11 ? 11 : 8;
  state_.protocol = o.protocol;
  state_.delay_ms = o.delay_ms;
  state_.registers = o.registers;
  auto num = [&](std::string_view n, long long v) { state_.params[std::string(n)] = ParamValue{false, v, {}}; };
  auto txt = [&](std::string_view n, const std::string& v) { state_.params[std::string(n)] = ParamValue{true, 0, v}; };
  txt(kParamDev, o.device);
  txt(kParamVer, o.version);
  num(kParamBaud, code_of(kBaudTable, o.line.baud));
  num(kParamBits, code_of(kBitsTable, o.line.bits));
  num(kParamParity, code_of(kParityTable, parity_setting(o.line.parity)));
  num(kParamStop, code_of(kStopTable, stop_setting(o.line.stop_bits)));
  num(kParamDelay, o.delay_ms);
  num(kParamAlen, code_of(kAlenTable, state_.alen));
  num(kParamAddr, o.address);
  num(kParamProto, code_of(kProtoTable, static_cast<int>(o.protocol)));
  txt(kParamLoopDev, o.loop_device);
  txt(kParamLoopVer, o.loop_version);
  num(kParamLoopBaud, code_of(kLoopBaudTable, o.loop_baud));
  num(kParamLoopBits, code_of(kBitsTable, o.loop_bits));
  num(kParamLoopParity, code_of(kParityTable, parity_setting(o.loop_parity)));
  num(kParamLoopStop, code_of(kStopTable, stop_setting(o.loop_stop_bits)));
  num(kParamLoopPoll, o.loop_poll);
}

void Engine::set_faults(const Faults& f) {
  faults_ = f;
  skip_left_ = f.skip_requests;
  loss_random_.seed(f.loss_seed);
}

bool Engine::take_changed() {
  const bool c = changed_;
  changed_ = false;
  return c;
}

void Engine::note(const std::string& line) const {
  if (log) log(line);
}

void Engine::count(const std::string& name) {
  ++state_.requests[name];
  changed_ = true;
}

void Engine::garbled(const std::string& why, const std::uint8_t* p, std::size_t n) {
  ++state_.garbled_frames;
  changed_ = true;
  note("garbled (" + why + "): " + printable(p, std::min<std::size_t>(n, 80)));
}

void Engine::ignore_bytes(std::size_t n, const std::string& why) {
  state_.ignored_bytes += static_cast<long>(n);
  changed_ = true;
  reset_receiver();
  note("ignored " + std::to_string(n) + " byte(s): " + why);
}

void Engine::reset_receiver() {
  rx_.clear();
  ravik_watch_.clear();
}

void Engine::receive(const std::uint8_t* data, std::size_t n, std::int64_t now_us, std::vector<Reply>& out) {
  if (n == 0) return;
  // A gap longer than the RTU frame silence ends a pending RTU frame first.
  if (state_.protocol == Protocol::modbus_rtu && !rx_.empty() && idle_deadline_us() <= now_us) idle(now_us, out);
  last_rx_us_ = now_us;
  bytes masked;
  if (state_.line.bits == 7) {
    // A 7-bit line carries no eighth bit.
    masked.assign(data, data + n);
    for (auto& b : masked) b &= 0x7F;
    data = masked.data();
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (state_.protocol == Protocol::modbus_rtu) {
      rx_.push_back(data[i]);
      if (rx_.size() > kMaxRtuFrame) {
        garbled("RTU frame too long", rx_.data(), rx_.size());
        rx_.clear();
      }
      rtu_try(out, false);
    }
    receive_text(data[i], out);
  }
}

void Engine::receive_text(std::uint8_t c, std::vector<Reply>& out) {
  // RAVIK and Modbus ASCII frames run from a start character to their end characters;
  // a start character inside a frame starts it over (the rest was noise).
  {
    const bool ascii = state_.protocol == Protocol::modbus_ascii;
    if (ascii) {
      if (c == ':') {
        if (!rx_.empty()) garbled("restarted by ':'", rx_.data(), rx_.size());
        rx_.assign(1, c);
      } else if (!rx_.empty()) {
        rx_.push_back(c);
        const std::size_t L = rx_.size();
        const bool ends = L >= 3 && (c == '\r' || c == '\n') && (rx_[L - 2] == '\r' || rx_[L - 2] == '\n');
        if (ends) {
          bytes pdu;
          if (modbus_ascii_unframe(rx_.data(), L, pdu) && pdu.size() >= 2) {
            note("rx " + printable(rx_.data(), L));
            rx_.clear();
            handle_modbus(pdu, out);
          } else {
            garbled("Modbus ASCII frame fails its check", rx_.data(), L);
            rx_.clear();
          }
        } else if (L > kMaxAsciiFrame) {
          garbled("Modbus ASCII frame too long", rx_.data(), L);
          rx_.clear();
        }
      }
    }
    // RAVIK frames: answered in RAVIK, only counted while speaking Modbus.
    const bool ravik = state_.protocol == Protocol::ravik;
    bytes& buf = ravik ? rx_ : ravik_watch_;
    if (c == '#') {
      if (!buf.empty() && ravik) garbled("restarted by '#'", buf.data(), buf.size());
      buf.assign(1, c);
    } else if (!buf.empty()) {
      buf.push_back(c);
      if (c == '\r') {
        bytes payload;
        const bool ok = ravik_unframe(buf.data(), buf.size(), payload);
        if (ravik) note("rx " + printable(buf.data(), buf.size()));
        if (ok) {
          buf.clear();
          if (ravik) {
            handle_ravik(payload, out);
          } else if (payload.size() >= 4) {
            // Counted when it is for this converter (a request it would have answered
            // in RAVIK); one for another converter on the line is only ignored.
            const std::string name = known_name(static_cast<std::uint16_t>(payload[2] << 8 | payload[3]));
            if (addressed_here(payload)) {
              note("RAVIK request \"" + name + "\" ignored: speaking " + protocol_name(state_.protocol));
              if (!name.empty()) count(name);
            }
            ++state_.ignored_frames;
            changed_ = true;
          }
        } else {
          if (ravik) garbled("RAVIK frame fails its check", buf.data(), buf.size());
          buf.clear();
        }
      } else if (buf.size() > kMaxRavikFrame) {
        if (ravik) garbled("RAVIK frame too long", buf.data(), buf.size());
        buf.clear();
      }
    }
  }
}

std::int64_t Engine::idle_deadline_us() const {
  if (state_.protocol != Protocol::modbus_rtu || rx_.empty()) return -1;
  // 3.5 characters of silence end a frame; a pseudo-terminal's scheduling needs more.
  return last_rx_us_ + std::max<std::int64_t>(char_us(state_.line) * 7 / 2, 20000);
}

void Engine::idle(std::int64_t now_us, std::vector<Reply>& out) {
  if (state_.protocol != Protocol::modbus_rtu || rx_.empty() || now_us < idle_deadline_us()) return;
  rtu_try(out, true);
  if (!rx_.empty()) {
    garbled("incomplete RTU frame", rx_.data(), rx_.size());
    rx_.clear();
  }
}

void Engine::rtu_try(std::vector<Reply>& out, bool at_gap) {
  // Requests have a length known from the function code; anything else is a whole
  // frame only once the line falls silent.
  std::size_t want = 0;
  if (rx_.size() >= 2) {
    const std::uint8_t fn = rx_[1];
    if (fn >= 1 && fn <= 6) want = 8;
    else if ((fn == 15 || fn == 16) && rx_.size() >= 7) want = 9u + rx_[6];
  }
  std::size_t len = 0;
  if (want && rx_.size() >= want) len = want;
  else if (at_gap && rx_.size() >= 4) len = rx_.size();
  if (!len) return;
  const std::uint16_t crc = modbus_crc(rx_.data(), len - 2);
  if (rx_[len - 2] != (crc & 0xFF) || rx_[len - 1] != (crc >> 8)) {
    garbled("RTU frame fails its CRC", rx_.data(), len);
    rx_.clear();
    return;
  }
  note("rx RTU " + hex_dump(rx_.data(), len));
  bytes pdu(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(len - 2));
  rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(len));
  handle_modbus(pdu, out);
}

bool Engine::answer_faults_apply(const std::string& name) const {
  return faults_.only.empty() || std::find(faults_.only.begin(), faults_.only.end(), name) != faults_.only.end();
}

// Faults that withhold an answer; true when the request may be answered.
bool Engine::pass_faults(const std::string& name) {
  if (faults_.silent) {
    note("  no answer (silent)");
    return false;
  }
  if (std::find(faults_.no_answer.begin(), faults_.no_answer.end(), name) != faults_.no_answer.end()) {
    note("  no answer (\"" + name + "\" is not answered)");
    return false;
  }
  if (skip_left_ > 0 && answer_faults_apply(name)) {
    --skip_left_;
    note("  no answer (skipped, " + std::to_string(skip_left_) + " more to skip)");
    return false;
  }
  if (faults_.loss_percent > 0 && answer_faults_apply(name) &&
      std::uniform_real_distribution<double>(0, 100)(loss_random_) < faults_.loss_percent) {
    ++state_.lost_answers;
    note("  no answer (lost at random)");
    return false;
  }
  return true;
}

void Engine::send(const std::string& name, bytes frame, std::vector<Reply>& out) {
  Reply r;
  r.delay_ms = state_.delay_ms;
  if (answer_faults_apply(name)) {
    if (faults_.bad_check && !frame.empty()) {
      // Spoil the last check character (RAVIK, ASCII) or the CRC's high byte (RTU).
      std::size_t i = frame.size() - 1;
      if (state_.protocol == Protocol::ravik) i = frame.size() - 2;
      if (state_.protocol == Protocol::modbus_ascii) i = frame.size() - 3;
      if (state_.protocol == Protocol::modbus_rtu) frame[i] ^= 0xFF;
      else frame[i] = frame[i] == '0' || frame[i] == 'G' ? frame[i] + 1 : (state_.protocol == Protocol::ravik ? 'G' : '0');
    }
    if (faults_.truncate_bytes > 0)
      frame.resize(frame.size() - std::min<std::size_t>(frame.size(), static_cast<std::size_t>(faults_.truncate_bytes)));
    if (faults_.noise_bytes > 0) {
      bytes noisy;
      for (int i = 0; i < faults_.noise_bytes; ++i) noisy.push_back(kNoise[static_cast<std::size_t>(i) % sizeof kNoise]);
      frame.insert(frame.begin(), noisy.begin(), noisy.end());
    }
    r.delay_ms += std::max(0, faults_.extra_delay_ms);
  }
  if (state_.line.bits == 7)
    for (auto& b : frame) b &= 0x7F;
  note("  answer after " + std::to_string(r.delay_ms) + " ms: " +
       (state_.protocol == Protocol::modbus_rtu ? hex_dump(frame.data(), frame.size()) : printable(frame.data(), frame.size())));
  r.data = std::move(frame);
  ++state_.answers;
  changed_ = true;
  out.push_back(std::move(r));
}

// Whether a RAVIK request's header carries this converter's address in its own
// address length. An 8-bit converter reads byte 0 and wants the three bits after it
// clear, so an 11-bit address whose low three bits are 0 reaches the 8-bit converter
// at the address's upper eight bits (616 reaches 77), as on a real line.
bool Engine::addressed_here(const bytes& p) const {
  if (p.size() < 2) return false;
  const bool addr11 = state_.alen == 11;
  const int addr = addr11 ? (p[0] << 3) | (p[1] >> 5) : p[0];
  return (addr11 || (p[1] & 0xE0) == 0) && addr == state_.address;
}

void Engine::handle_ravik(const bytes& p, std::vector<Reply>& out) {
  if (p.size() < 4 || static_cast<std::size_t>(p[1] & 0x0F) != p.size() - 4) {
    garbled("RAVIK length field does not match", p.data(), p.size());
    return;
  }
  const bool addr11 = state_.alen == 11;
  if (!addressed_here(p)) {
    ++state_.ignored_frames;
    changed_ = true;
    note("RAVIK frame for another address ignored");
    return;
  }
  const bool is_read = (p[1] & 0x10) != 0;
  const auto hash = static_cast<std::uint16_t>(p[2] << 8 | p[3]);
  const ParamDef* def = find_param(hash);
  const bytes data(p.begin() + 4, p.end());
  if (!def) {
    char id[8];
    std::snprintf(id, sizeof id, "#%04X", hash);
    count(id);
    ++state_.ignored_frames;
    note(std::string(is_read ? "read" : "write") + " of unknown parameter " + id + " ignored");
    return;
  }
  const std::string name(def->name);
  count(name);
  ParamValue& stored = state_.params[name];

  if (def->kind == Kind::command) {
    if (is_read || data.size() != 1 || data[0] != 1) {
      garbled("\"APLY\" without its data byte 1", p.data(), p.size());
      return;
    }
    note("command \"APLY\"");
    if (faults_.silent) return;  // a silent converter takes nothing in
    apply_settings();
    return;
  }

  std::string meaning;
  if (is_read) {
    note("read \"" + name + "\"");
  } else {
    if (!def->writable) {
      ++state_.ignored_frames;
      note("write of read-only \"" + name + "\" ignored");
      return;
    }
    // An empty text is a text all the same (an instrument without a version);
    // a number needs at least one byte.
    if (data.empty() && def->kind != Kind::text) {
      garbled("write without a value", p.data(), p.size());
      return;
    }
    if (!pass_faults(name)) return;
    if (def->kind == Kind::text) {
      stored = ParamValue{true, 0, std::string(data.rbegin(), data.rend())};
      meaning = "\"" + stored.text + "\"";
    } else {
      unsigned long long v = 0;
      for (std::uint8_t b : data) v = (v << 8) | b;
      stored = ParamValue{false, static_cast<long long>(v & 0xFFFFFFFFull), {}};
      meaning = std::to_string(stored.number);
      if (def->kind == Kind::coded) {
        const int setting = value_of(def->table, stored.number);
        meaning += setting < 0 ? " (code outside the table)" : " (" + std::to_string(setting) + ")";
      }
    }
    changed_ = true;
    note("write \"" + name + "\" = " + meaning);
  }
  if (is_read && !pass_faults(name)) return;

  // The answer carries the value (a read) or echoes the written one (a write).
  bytes field;
  if (stored.is_text) {
    const std::string& t = stored.text;
    for (auto it = t.rbegin(); it != t.rend() && field.size() < 15; ++it) field.push_back(static_cast<std::uint8_t>(*it));
  } else {
    auto v = static_cast<unsigned long long>(stored.number) & 0xFFFFFFFFull;
    do {
      field.insert(field.begin(), static_cast<std::uint8_t>(v & 0xFF));
      v >>= 8;
    } while (v != 0);
  }
  bytes answer;
  const int a = state_.address;
  answer.push_back(static_cast<std::uint8_t>(addr11 ? (a >> 3) & 0xFF : a & 0xFF));
  std::uint8_t b1 = static_cast<std::uint8_t>((addr11 ? (a & 7) << 5 : 0) | field.size());
  if (faults_.request_flag && answer_faults_apply(name)) b1 |= 0x10;
  answer.push_back(b1);
  answer.push_back(p[2]);
  answer.push_back(p[3]);
  answer.insert(answer.end(), field.begin(), field.end());
  send(name, ravik_frame(answer), out);
}

void Engine::apply_settings() {
  State& s = state_;
  auto coded = [&](std::string_view name, std::span<const int> table, int fallback) {
    const int v = value_of(table, s.number(name));
    if (v < 0) note(std::string("  \"") + std::string(name) + "\" holds no valid code: kept");
    return v < 0 ? fallback : v;
  };
  s.line.baud = coded(kParamBaud, kBaudTable, s.line.baud);
  s.line.bits = coded(kParamBits, kBitsTable, s.line.bits);
  s.line.parity = static_cast<Parity>(coded(kParamParity, kParityTable, static_cast<int>(s.line.parity)));
  s.line.stop_bits = coded(kParamStop, kStopTable, s.line.stop_bits == 2 ? 2 : 0) == 2 ? 2 : 1;
  s.alen = coded(kParamAlen, kAlenTable, s.alen);
  s.protocol = static_cast<Protocol>(coded(kParamProto, kProtoTable, static_cast<int>(s.protocol)));
  const long long delay = s.number(kParamDelay);
  if (delay >= 0 && delay <= 65535) s.delay_ms = static_cast<int>(delay);
  const long long addr = s.number(kParamAddr);
  const long long max_addr = s.alen == 11 ? 2047 : 255;
  if (addr >= 0 && addr <= max_addr) s.address = static_cast<int>(addr);
  else note("  \"addr\" " + std::to_string(addr) + " is outside the address range: kept");
  if (s.address > max_addr) s.address = static_cast<int>(max_addr);
  reset_receiver();
  changed_ = true;
  char buf[160];
  std::snprintf(buf, sizeof buf, "  now %d %d-%c-%d, address %d (%d-bit), %s, answer delay %d ms", s.line.baud, s.line.bits,
                "noe"[static_cast<int>(s.line.parity)], s.line.stop_bits, s.address, s.alen, protocol_name(s.protocol),
                s.delay_ms);
  note(buf);
}

void Engine::handle_modbus(const bytes& pdu, std::vector<Reply>& out) {
  if (pdu.size() < 2) return;
  const std::uint8_t unit = pdu[0], fn = pdu[1];
  if (unit != 0 && unit != (state_.address & 0xFF)) {
    ++state_.ignored_frames;
    changed_ = true;
    note("Modbus frame for unit " + std::to_string(unit) + " ignored");
    return;
  }
  const bool broadcast = unit == 0;
  auto exception = [&](const std::string& name, int code) {
    note("  exception " + std::to_string(code));
    if (broadcast || !pass_faults(name)) return;
    const bytes ex = {unit, static_cast<std::uint8_t>(fn | 0x80), static_cast<std::uint8_t>(code)};
    send(name, state_.protocol == Protocol::modbus_rtu ? modbus_rtu_frame(ex) : modbus_ascii_frame(ex), out);
  };
  auto frame = [&](const bytes& a) { return state_.protocol == Protocol::modbus_rtu ? modbus_rtu_frame(a) : modbus_ascii_frame(a); };
  const int w1 = pdu.size() >= 4 ? pdu[2] << 8 | pdu[3] : -1;
  const int w2 = pdu.size() >= 6 ? pdu[4] << 8 | pdu[5] : -1;

  // Functions 3 and 5 carry two words; counted under their name, garbled at any other length.
  auto two_words = [&](const std::string& name) {
    count(name);
    if (pdu.size() == 6) return true;
    garbled("function " + std::to_string(fn) + " of the wrong length", pdu.data(), pdu.size());
    return false;
  };

  if (fn == 3) {
    const std::string name(kCountModbusRead);
    if (!two_words(name)) return;
    note("Modbus read of " + std::to_string(w2) + " holding register(s) from " + std::to_string(w1));
    if (w2 < 1 || w2 > 125) return exception(name, kExIllegalValue);
    // A read is answered when its first register is readable; registers after it that
    // are not readable (or beyond 0xFF) read as 0.
    if (w1 >= kRegisterCount || state_.registers[static_cast<std::size_t>(w1)] < 0) return exception(name, kExIllegalAddress);
    if (broadcast || !pass_faults(name)) return;
    bytes a = {unit, 3, static_cast<std::uint8_t>(2 * w2)};
    for (int r = w1; r < w1 + w2; ++r) {
      const int v = r < kRegisterCount ? std::max(0, state_.registers[static_cast<std::size_t>(r)]) : 0;
      a.push_back(static_cast<std::uint8_t>(v >> 8));
      a.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return send(name, frame(a), out);
  }
  if (fn == 5) {
    const std::string name(kCountModbusCoil);
    if (!two_words(name)) return;
    note("Modbus write of coil " + std::to_string(w1) + " = " + std::to_string(w2));
    if (w2 != 0xFF00 && w2 != 0x0000) return exception(name, kExIllegalValue);
    if (w1 != kWakeCoil) return exception(name, kExIllegalAddress);
    if (!broadcast && pass_faults(name)) send(name, frame(pdu), out);
    if (w2 == 0xFF00 && !faults_.silent) {
      // The wake-up: the converter answers RAVIK again from now on.
      state_.protocol = Protocol::ravik;
      state_.params[std::string(kParamProto)] = ParamValue{false, kProtoCodeRavik, {}};
      reset_receiver();
      changed_ = true;
      note("  wake-up: back to RAVIK");
    }
    return;
  }
  const std::string name(kCountModbusOther);
  count(name);
  note("Modbus function " + std::to_string(fn) + " not supported");
  exception(name, kExIllegalFunction);
}

std::string Engine::state_json() const { return state_to_json(state_); }

bool Engine::load_state(const std::string& text, std::string* error) {
  State s = state_;
  if (!state_from_json(text, s, error)) return false;
  restore(std::move(s));
  return true;
}

void Engine::restore(State s) {
  state_ = std::move(s);
  reset_receiver();
  changed_ = true;
}

const char* parity_name(Parity p) {
  switch (p) {
    case Parity::odd: return "odd";
    case Parity::even: return "even";
    default: return "none";
  }
}

const char* protocol_name(Protocol p) {
  switch (p) {
    case Protocol::modbus_ascii: return "modbus-ascii";
    case Protocol::modbus_rtu: return "modbus-rtu";
    default: return "ravik";
  }
}

bool parse_parity(std::string_view t, Parity& out) {
  if (t == "none" || t == "n" || t == "N") out = Parity::none;
  else if (t == "odd" || t == "o" || t == "O") out = Parity::odd;
  else if (t == "even" || t == "e" || t == "E") out = Parity::even;
  else return false;
  return true;
}

bool parse_protocol(std::string_view t, Protocol& out) {
  if (t == "ravik") out = Protocol::ravik;
  else if (t == "modbus-rtu" || t == "rtu") out = Protocol::modbus_rtu;
  else if (t == "modbus-ascii" || t == "ascii") out = Protocol::modbus_ascii;
  else return false;
  return true;
}

}  // namespace kv4t::sim
