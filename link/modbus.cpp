#include "link/modbus.h"

#include <array>

namespace {

// The pair of 256-entry tables of CRC-16/MODBUS: for each index, the high and the
// low byte of the reflected CRC (polynomial 0xA001) of that one byte.
struct crc_tables {
  std::array<uint8_t, 256> hi{};
  std::array<uint8_t, 256> lo{};
};

constexpr crc_tables make_crc_tables() {
  crc_tables t;
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
    t.hi[i] = static_cast<uint8_t>(crc >> 8);
    t.lo[i] = static_cast<uint8_t>(crc & 0xFF);
  }
  return t;
}

constexpr crc_tables modbus_crc_tables = make_crc_tables();

constexpr const codec_timing_row* rtu_tables[] = {modbus_rtu_gap_table, modbus_rtu_guard_table,
                                                  modbus_rtu_answer_table};
constexpr const codec_timing_row* ascii_tables[] = {modbus_ascii_table, modbus_ascii_table,
                                                    modbus_ascii_table};

constexpr uint8_t ascii_start_char = ':';
constexpr uint8_t ascii_cr = '\r';
constexpr uint8_t ascii_lf = '\n';

constexpr uint8_t hex_digit(unsigned v) {
  return static_cast<uint8_t>("0123456789ABCDEF"[v & 0x0F]);
}

// The value of a hexadecimal digit of either case, or -1.
constexpr int hex_value(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

uint16_t modbus_crc16(const uint8_t* data, std::size_t size) {
  uint8_t hi = 0xFF;
  uint8_t lo = 0xFF;
  for (std::size_t i = 0; i < size; ++i) {
    const uint8_t index = lo ^ data[i];
    lo = hi ^ modbus_crc_tables.lo[index];
    hi = modbus_crc_tables.hi[index];
  }
  return static_cast<uint16_t>((hi << 8) | lo);
}

uint8_t modbus_lrc(const uint8_t* data, std::size_t size) {
  uint8_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return static_cast<uint8_t>(-sum);
}

// ---------------------------------------------------------------------------
// RTU

int modbus_rtu_codec::timing(int kind, int baud, int, int) const {
  return codec_timing_lookup(rtu_tables, 3, kind, baud);
}

bool modbus_rtu_codec::is_frame_start(uint8_t) const { return true; }

int modbus_rtu_codec::expected_length(const std::vector<uint8_t>& frame) {
  if (frame.size() < 3) return -1;
  const uint8_t function = frame[1];
  if (function & 0x80) return 5;
  switch (function) {
    case 1: case 2: case 3: case 4: case 12: case 23:
      return frame[2] + 5;
    case 5: case 6: case 11: case 15: case 16:
      return 8;
    case 7:
      return 5;
    default:
      return -1;
  }
}

int modbus_rtu_codec::encode(const std::vector<uint8_t>& payload, std::vector<uint8_t>& out) const {
  if (payload.size() < 2 || payload.size() > frame_max_bytes - 2) return -2;
  const uint16_t crc = modbus_crc16(payload.data(), payload.size());
  out.insert(out.end(), payload.begin(), payload.end());
  out.push_back(static_cast<uint8_t>(crc & 0xFF));
  out.push_back(static_cast<uint8_t>(crc >> 8));
  return static_cast<int>(out.size());
}

feed_result modbus_rtu_codec::feed(int final, const std::vector<uint8_t>& input, int& consumed) {
  consumed = 0;
  if (final != 0 && final != 1) return feed_result::bad_argument;
  const std::size_t before = raw_.size();
  raw_.insert(raw_.end(), input.begin(), input.end());
  consumed = static_cast<int>(input.size());
  if (final == 1) return check_frame();
  if (before <= 2 && raw_.size() > 2) expected_length_ = expected_length(raw_);
  if (expected_length_ > 0 && raw_.size() >= static_cast<std::size_t>(expected_length_)) {
    return check_frame();
  }
  // An answer of unknown length that never falls silent must not grow the buffer
  // without limit.
  if (raw_.size() > frame_max_bytes) return feed_result::too_long;
  return feed_result::more;
}

feed_result modbus_rtu_codec::check_frame() {
  decoded_.clear();
  if (raw_.empty()) return feed_result::nothing_received;
  if (raw_.size() < 4) return feed_result::too_short;
  if (raw_.size() > frame_max_bytes) return feed_result::too_long;
  const std::size_t n = raw_.size() - 2;
  decoded_.assign(raw_.begin(), raw_.begin() + static_cast<std::ptrdiff_t>(n));
  const uint16_t crc = modbus_crc16(raw_.data(), n);
  const uint16_t received = static_cast<uint16_t>(raw_[n] | (raw_[n + 1] << 8));
  return received == crc ? feed_result::frame_ok : feed_result::bad_checksum;
}

void modbus_rtu_codec::reset() {
  frame_codec::reset();
  expected_length_ = -1;
}

int modbus_rtu_codec::read_hint() const {
  if (expected_length_ < 0) return -1;
  return expected_length_ - static_cast<int>(raw_.size());
}

const char* modbus_rtu_codec::name() const { return "modbus_rtu_codec"; }

// ---------------------------------------------------------------------------
// ASCII

int modbus_ascii_codec::timing(int kind, int baud, int, int) const {
  return codec_timing_lookup(ascii_tables, 3, kind, baud);
}

bool modbus_ascii_codec::is_frame_start(uint8_t byte) const { return byte == ascii_start_char; }

int modbus_ascii_codec::read_hint() const { return 256; }

int modbus_ascii_codec::encode(const std::vector<uint8_t>& payload,
                               std::vector<uint8_t>& out) const {
  if (payload.size() < 2 || payload.size() > (frame_max_bytes - 5) / 2) return -2;
  out.reserve(out.size() + 2 * payload.size() + 5);
  out.push_back(ascii_start_char);
  for (uint8_t b : payload) {
    out.push_back(hex_digit(b >> 4));
    out.push_back(hex_digit(b));
  }
  const uint8_t lrc = modbus_lrc(payload.data(), payload.size());
  out.push_back(hex_digit(lrc >> 4));
  out.push_back(hex_digit(lrc));
  out.push_back(ascii_cr);
  out.push_back(ascii_lf);
  return static_cast<int>(out.size());
}

feed_result modbus_ascii_codec::feed(int final, const std::vector<uint8_t>& input, int& consumed) {
  consumed = 0;
  if (final != 0 && final != 1) return feed_result::bad_argument;
  if (final == 1 && raw_.empty() && input.empty()) return feed_result::nothing_received;
  std::size_t pos = 0;
  if (raw_.empty()) {
    while (pos < input.size() && input[pos] != ascii_start_char) ++pos;
    if (pos == input.size()) {
      consumed = static_cast<int>(input.size());
      return feed_result::more;
    }
    raw_.push_back(ascii_start_char);
    ++pos;
  }
  for (; pos < input.size(); ++pos) {
    const uint8_t c = input[pos];
    raw_.push_back(c);
    if (c == ascii_cr || c == ascii_lf) {
      if (terminator_seen_) {
        consumed = static_cast<int>(pos + 1);
        return check_frame();
      }
      terminator_seen_ = true;
    }
    if (raw_.size() > frame_max_bytes) {
      consumed = static_cast<int>(pos + 1);
      return feed_result::too_long;
    }
  }
  consumed = static_cast<int>(input.size());
  return feed_result::more;
}

feed_result modbus_ascii_codec::check_frame() {
  decoded_.clear();
  const std::size_t length = raw_.size();
  if (length <= 8) return feed_result::too_short;
  if (length > frame_max_bytes) return feed_result::too_long;
  if (raw_[0] != ascii_start_char) return feed_result::bad_format;
  const std::size_t n = (length - 5) / 2;
  uint8_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int hi = hex_value(raw_[1 + 2 * i]);
    const int lo = hex_value(raw_[2 + 2 * i]);
    if (hi < 0 || lo < 0) return feed_result::bad_format;
    const auto byte = static_cast<uint8_t>((hi << 4) | lo);
    sum = static_cast<uint8_t>(sum + byte);
    decoded_.push_back(byte);
  }
  const int lrc_hi = hex_value(raw_[1 + 2 * n]);
  const int lrc_lo = hex_value(raw_[2 + 2 * n]);
  if (lrc_hi < 0 || lrc_lo < 0) return feed_result::bad_format;
  if (static_cast<uint8_t>(sum + ((lrc_hi << 4) | lrc_lo)) != 0) return feed_result::bad_checksum;
  const uint8_t t1 = raw_[3 + 2 * n];
  const uint8_t t2 = raw_[4 + 2 * n];
  if ((t1 == ascii_cr && t2 == ascii_lf) || (t1 == ascii_lf && t2 == ascii_cr)) {
    return feed_result::frame_ok;
  }
  return feed_result::bad_terminator;
}

void modbus_ascii_codec::reset() {
  frame_codec::reset();
  terminator_seen_ = false;
}

const char* modbus_ascii_codec::name() const { return "modbus_ascii_codec"; }

// ---------------------------------------------------------------------------
// Requests

int modbus_request::set_function(int code) {
  switch (code) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 15: case 16:
      function_ = code;
      return ok;
    default:
      return bad_function;
  }
}

int modbus_request::set_range(uint16_t address, int count_or_value) {
  int low = 1;
  int high = 0;
  switch (function_) {
    case 1: high = 2000; break;
    case 2: case 3: high = 125; break;
    case 15: high = 1968; break;
    case 16: high = 120; break;
    case 4: case 5: case 6: low = INT_MIN; high = INT_MAX; break;
    default: return bad_range;
  }
  if (count_or_value < low || count_or_value > high) return bad_range;
  address_ = address;
  count_ = count_or_value;
  return ok;
}

void modbus_request::set_unit(int unit) { unit_ = unit; }

void modbus_request::set_data(const std::vector<uint8_t>& data) { data_ = data; }

int modbus_request::build(std::vector<uint8_t>& out, int unit) const {
  const int u = unit == -1 ? unit_ : unit;
  const auto header = [&](std::vector<uint8_t>& v) {
    v.assign({static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(function_),
              static_cast<uint8_t>(address_ >> 8), static_cast<uint8_t>(address_ & 0xFF)});
  };
  switch (function_) {
    case 1: case 2: case 3: case 4: case 6:
      header(out);
      out.push_back(static_cast<uint8_t>((count_ >> 8) & 0xFF));
      out.push_back(static_cast<uint8_t>(count_ & 0xFF));
      return ok;
    case 5:
      header(out);
      out.push_back(count_ != 0 ? 0xFF : 0x00);
      out.push_back(0x00);
      return ok;
    case 15: case 16:
      // The byte count is a single byte: a longer data field cannot be framed.
      if (data_.size() > 255) return bad_range;
      header(out);
      out.push_back(static_cast<uint8_t>((count_ >> 8) & 0xFF));
      out.push_back(static_cast<uint8_t>(count_ & 0xFF));
      out.push_back(static_cast<uint8_t>(data_.size()));
      out.insert(out.end(), data_.begin(), data_.end());
      return ok;
    default:
      return bad_function;
  }
}

int modbus_request::check_answer(const std::vector<uint8_t>& payload, int unit) {
  if (function_ < 0) return bad_function;
  const int u = unit == -1 ? unit_ : unit;
  if (payload.size() < 3 || payload[0] != static_cast<uint8_t>(u & 0xFF) ||
      (payload[1] & 0x7F) != function_) {
    return bad_answer;
  }
  if (payload[1] & 0x80) return exception_base - payload[2];
  switch (function_) {
    case 2: case 3: case 4:
      if (payload.size() != static_cast<std::size_t>(payload[2]) + 3) return bad_answer;
      data_.assign(payload.begin() + 3, payload.end());
      return ok;
    case 5: case 6: case 15: case 16:
      return ok;
    default:
      return bad_function;
  }
}

int modbus_request::take_data(std::vector<uint8_t>& out) const {
  if (function_ < 0) return bad_function;
  out = data_;
  return ok;
}
