#include "link/ravik.h"

namespace {

// Code of each character in a parameter name; -1 for a byte that has none.
// Letters are 10..35 in either case, '-' 36, '_' 37, '/' 38, space 39.
constexpr int ravik_char_code(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return 10 + (c - 'A');
  if (c >= 'a' && c <= 'z') return 10 + (c - 'a');
  switch (c) {
    case '-': return 36;
    case '_': return 37;
    case '/': return 38;
    case ' ': return 39;
    default: return -1;
  }
}

constexpr int ravik_space_code = 39;

// Feeds the low `bits` bits of value into h, most significant first.
uint16_t ravik_shift(uint16_t h, unsigned value, int bits) {
  for (int bit = bits - 1; bit >= 0; --bit) {
    const unsigned top = (h >> 15) & 1u;
    h = static_cast<uint16_t>(h << 1);
    if (((value >> bit) & 1u) != top) h ^= ravik_poly;
  }
  return h;
}

// The character for nibble v: 'G' + v.
constexpr uint8_t ravik_nibble_char(unsigned v) { return static_cast<uint8_t>('G' + (v & 0x0F)); }

// The nibble of a frame character, or -1 outside 'G'..'V'.
constexpr int ravik_char_nibble(uint8_t c) {
  return (c >= 'G' && c <= 'V') ? c - 'G' : -1;
}

constexpr const codec_timing_row* ravik_tables[] = {nullptr, ravik_guard_table,
                                                    ravik_answer_table};

}  // namespace

uint16_t ravik_hash(const char* name, bool* ok) {
  if (ok) *ok = name != nullptr;
  // No name at all is no parameter either.
  if (name == nullptr) return 0;
  uint16_t h = 0;
  int count = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(name);
  while (count < 4 && *p != 0) {
    const int code = ravik_char_code(*p);
    if (code < 0) {
      if (ok) *ok = false;
      return 0;
    }
    unsigned dot = 0;
    if (p[1] == '.') {
      dot = 1;
      ++p;
    }
    h = ravik_shift(h, static_cast<unsigned>(2 * code) + dot, 7);
    ++count;
    ++p;
  }
  for (; count < 4; ++count) h = ravik_shift(h, 2 * ravik_space_code, 7);
  return h;
}

uint16_t ravik_crc16(uint16_t crc, uint8_t byte) { return ravik_shift(crc, byte, 8); }

bool ravik_make_request(std::vector<uint8_t>& data, bool is_read, bool addr11, int address,
                        uint16_t hash) {
  if (data.size() > ravik_max_data_bytes) return false;
  const uint8_t header[ravik_header_bytes] = {
      static_cast<uint8_t>(addr11 ? (address >> 3) & 0xFF : address & 0xFF),
      static_cast<uint8_t>((addr11 ? (address & 7) << 5 : 0) | (is_read ? ravik_request_flag : 0) |
                           (data.size() & 0x0F)),
      static_cast<uint8_t>(hash >> 8),
      static_cast<uint8_t>(hash & 0xFF),
  };
  data.insert(data.begin(), header, header + ravik_header_bytes);
  return true;
}

int ravik_codec::timing(int kind, int baud, int, int) const {
  return codec_timing_lookup(ravik_tables, 3, kind, baud);
}

bool ravik_codec::is_frame_start(uint8_t byte) const { return byte == ravik_start_char; }

int ravik_codec::encode(const std::vector<uint8_t>& payload, std::vector<uint8_t>& out) const {
  if (payload.size() < ravik_header_bytes) return -2;
  // No codec takes in a frame over frame_max_bytes, so none is sent either.
  if (payload.size() > (frame_max_bytes - 6) / 2) return -2;
  out.reserve(out.size() + 2 * payload.size() + 6);
  out.push_back(ravik_start_char);
  uint16_t crc = 0;
  for (uint8_t b : payload) {
    out.push_back(ravik_nibble_char(b >> 4));
    out.push_back(ravik_nibble_char(b));
    crc = ravik_crc16(crc, b);
  }
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(ravik_nibble_char(crc >> shift));
  out.push_back(ravik_end_char);
  return static_cast<int>(out.size());
}

feed_result ravik_codec::feed(int final, const std::vector<uint8_t>& input, int& consumed) {
  const feed_result result = feed_delimited(final, input, consumed, ravik_start_char,
                                            [](uint8_t c) { return c == ravik_end_char; });
  return result == feed_result::frame_ok ? check_frame() : result;
}

feed_result ravik_codec::check_frame() {
  decoded_.clear();
  const std::size_t length = raw_.size();
  if (length <= 13) return feed_result::too_short;
  const std::size_t n = ((length - 2) >> 1) - 2;
  if (!decode_char_pairs(raw_.data() + 1, n, ravik_char_nibble)) return feed_result::bad_format;
  uint16_t crc = 0;
  for (uint8_t b : decoded_) crc = ravik_crc16(crc, b);
  unsigned received = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const int v = ravik_char_nibble(raw_[1 + 2 * n + i]);
    if (v < 0) return feed_result::bad_format;
    received = (received << 4) | static_cast<unsigned>(v);
  }
  return received == crc ? feed_result::frame_ok : feed_result::bad_checksum;
}

const char* ravik_codec::name() const { return "ravik_codec"; }
