// Modbus RTU on the serial line as a frame codec: binary frames checked by a
// CRC-16 and ended by the line's silence. A payload is a Modbus application unit
// without checksum: unit address, function code, data.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/frame_codec.h"

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF) of size bytes at data,
// computed byte-wise through the usual pair of 256-entry tables. It goes on the
// wire low byte first. Of "123456789" it is 0x4B37.
uint16_t modbus_crc16(const uint8_t* data, std::size_t size);

// RTU timing: 240 ms of silence ends a frame up to 2400 baud, 100 ms below 9600,
// 50 ms from 9600 on; the answer must come within 2 s up to 2400 baud, else 1 s.
inline constexpr codec_timing_row modbus_rtu_gap_table[] = {
    {2400, 240000}, {9599, 100000}, {INT_MAX, 50000}};
inline constexpr codec_timing_row modbus_rtu_guard_table[] = {
    {2400, 150000}, {9599, 100000}, {INT_MAX, 50000}};
inline constexpr codec_timing_row modbus_rtu_answer_table[] = {{2400, 2000000}, {INT_MAX, 1000000}};

// Modbus RTU: the payload followed by its CRC-16, low byte first. The frame length
// is known from the function code in the second byte, so the channel can read the
// rest at once (read_hint); an unknown function ends only by the line's silence.
class modbus_rtu_codec : public frame_codec {
 public:
  int timing(int kind, int baud, int bits_per_char, int reserved) const override;
  bool is_frame_start(uint8_t byte) const override;  // every byte can start a frame
  feed_result feed(int final, const std::vector<uint8_t>& input, int& consumed) override;
  void reset() override;
  int read_hint() const override;
  int encode(const std::vector<uint8_t>& payload, std::vector<uint8_t>& out) const override;
  const char* name() const override;

  // The frame length that the function code of the answer implies: 5 for an
  // exception answer (bit 7), byte count + 5 for functions 1..4, 12 and 23, 8 for
  // 5, 6, 11, 15 and 16, 5 for 7; -1 for any other code. frame holds at least
  // 3 bytes.
  static int expected_length(const std::vector<uint8_t>& frame);

 private:
  feed_result check_frame();

  int expected_length_ = -1;  // -1 until the third byte is in
};
