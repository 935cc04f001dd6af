// The RAVIK protocol, the converter's own: an ASCII framing ('#', two characters
// 'G'..'V' per byte, a 16-bit check, carriage return) as a frame codec, the
// request header and the 16-bit identifier computed from a parameter name.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/frame_codec.h"

// Payload header: byte 0 address (bits 10..3 of an 11-bit address), byte 1 the low
// address bits (7..5, 11-bit addressing only), the read-request flag (bit 4) and
// the data length (3..0), then the parameter identifier, high byte first.
inline constexpr std::size_t ravik_header_bytes = 4;
inline constexpr std::size_t ravik_max_data_bytes = 15;
inline constexpr uint8_t ravik_request_flag = 0x10;
inline constexpr uint8_t ravik_start_char = '#';
inline constexpr uint8_t ravik_end_char = '\r';
// The polynomial of both the frame check and the parameter identifier.
inline constexpr uint16_t ravik_poly = 0x8F57;

// Timing of the RAVIK codec: no end-of-frame gap (the carriage return ends a
// frame), answer within 150 ms below 9600 baud and 70 ms from 9600 on.
inline constexpr codec_timing_row ravik_guard_table[] = {{9599, 200000}, {INT_MAX, 100000}};
inline constexpr codec_timing_row ravik_answer_table[] = {{9599, 150000}, {INT_MAX, 70000}};

// The 16-bit identifier of a parameter name: up to four characters counted (a '.'
// after a character belongs to it), case ignored, short names padded with spaces.
// Sets *ok (when given) to false and returns 0 when a character is not one of
// 0-9 A-Z a-z - _ / and space, or when name is null.
uint16_t ravik_hash(const char* name, bool* ok);

// One step of the frame check: byte fed into crc most significant bit first
// (polynomial 0x8F57, no reflection). A payload's check starts from 0.
uint16_t ravik_crc16(uint16_t crc, uint8_t byte);

// Prepends the 4-byte request header to data in place. False, with data unchanged,
// when data already holds 16 bytes or more.
bool ravik_make_request(std::vector<uint8_t>& data, bool is_read, bool addr11, int address,
                        uint16_t hash);

class ravik_codec : public frame_codec {
 public:
  int timing(int kind, int baud, int bits_per_char, int reserved) const override;
  bool is_frame_start(uint8_t byte) const override;  // '#'
  feed_result feed(int final, const std::vector<uint8_t>& input, int& consumed) override;
  int encode(const std::vector<uint8_t>& payload, std::vector<uint8_t>& out) const override;
  const char* name() const override;

 private:
  feed_result check_frame();
};
