#include "link/modbus_rtu.h"

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
