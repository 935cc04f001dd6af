#include "link/frame_codec.h"

frame_codec::~frame_codec() = default;

int frame_codec::timing(int, int, int, int) const { return -1; }

bool frame_codec::is_frame_start(uint8_t) const { return false; }

feed_result frame_codec::feed(int, const std::vector<uint8_t>&, int& consumed) {
  consumed = 0;
  return feed_result::unsupported;
}

void frame_codec::take_payload(std::vector<uint8_t>& out) { out = decoded_; }

void frame_codec::reset() {
  decoded_.clear();
  raw_.clear();
}

int frame_codec::read_hint() const { return -1; }

int frame_codec::encode(const std::vector<uint8_t>&, std::vector<uint8_t>&) const { return -1; }

const char* frame_codec::name() const { return "frame_codec"; }

bool frame_codec::decode_char_pairs(const uint8_t* chars, std::size_t n, int (*digit)(uint8_t)) {
  for (std::size_t i = 0; i < n; ++i) {
    const int hi = digit(chars[2 * i]);
    const int lo = digit(chars[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    decoded_.push_back(static_cast<uint8_t>((hi << 4) | lo));
  }
  return true;
}

int codec_timing_lookup(const codec_timing_row* const* tables, int table_count, int kind,
                        int baud) {
  if (kind < 0 || kind >= table_count || tables[kind] == nullptr) return -1;
  for (const codec_timing_row* row = tables[kind];; ++row) {
    if (baud <= row->max_baud) return row->us;
  }
}
