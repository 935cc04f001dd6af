#include "link/modbus_ascii.h"

namespace {

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

uint8_t modbus_lrc(const uint8_t* data, std::size_t size) {
  uint8_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return static_cast<uint8_t>(-sum);
}

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
