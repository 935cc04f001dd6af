// Modbus ASCII on the serial line as a frame codec: hexadecimal text frames
// checked by an LRC. A payload is a Modbus application unit without checksum:
// unit address, function code, data.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/frame_codec.h"

// The LRC of Modbus ASCII: the two's complement of the 8-bit sum of the bytes.
uint8_t modbus_lrc(const uint8_t* data, std::size_t size);

// ASCII: one second for the gap, the guard and the answer at every baud.
inline constexpr codec_timing_row modbus_ascii_table[] = {{INT_MAX, 1000000}};

// Modbus ASCII: ':', two upper-case hexadecimal digits per byte, the LRC as two
// digits, carriage return and line feed (line feed then carriage return is accepted
// on reception).
class modbus_ascii_codec : public frame_codec {
 public:
  int timing(int kind, int baud, int bits_per_char, int reserved) const override;
  bool is_frame_start(uint8_t byte) const override;  // ':'
  feed_result feed(int final, const std::vector<uint8_t>& input, int& consumed) override;
  void reset() override;
  int read_hint() const override;  // 256
  int encode(const std::vector<uint8_t>& payload, std::vector<uint8_t>& out) const override;
  const char* name() const override;

 private:
  feed_result check_frame();

  bool terminator_seen_ = false;  // the first of CR / LF has arrived
};
