#include "link/modbus_ascii.h"

#include "common/hex_digits.h"

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
constexpr int hex_value(uint8_t c) { return HexDigitValue(c); }

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
  // The frame ends with the second of carriage return and line feed.
  const feed_result result =
      feed_delimited(final, input, consumed, ascii_start_char, [this](uint8_t c) {
        if (c != ascii_cr && c != ascii_lf) return false;
        if (terminator_seen_) return true;
        terminator_seen_ = true;
        return false;
      });
  return result == feed_result::frame_ok ? check_frame() : result;
}

feed_result modbus_ascii_codec::check_frame() {
  decoded_.clear();
  const std::size_t length = raw_.size();
  if (length <= 8) return feed_result::too_short;
  if (raw_[0] != ascii_start_char) return feed_result::bad_format;
  const std::size_t n = (length - 5) / 2;
  // The payload and then its LRC: together they add up to zero.
  if (!decode_char_pairs(raw_.data() + 1, n + 1, hex_value)) return feed_result::bad_format;
  uint8_t sum = 0;
  for (uint8_t b : decoded_) sum = static_cast<uint8_t>(sum + b);
  decoded_.pop_back();
  if (sum != 0) return feed_result::bad_checksum;
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
