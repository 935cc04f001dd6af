// Modbus on the serial line: the RTU and ASCII framings as frame codecs, and
// modbus_request, which builds request payloads and checks the answers. A payload
// is a Modbus application unit without checksum: unit address, function code, data.
#pragma once

#include <cstdint>
#include <vector>

#include "link/frame_codec.h"

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF) of size bytes at data,
// computed byte-wise through the usual pair of 256-entry tables. It goes on the
// wire low byte first. Of "123456789" it is 0x4B37.
uint16_t modbus_crc16(const uint8_t* data, std::size_t size);

// The LRC of Modbus ASCII: the two's complement of the 8-bit sum of the bytes.
uint8_t modbus_lrc(const uint8_t* data, std::size_t size);

// RTU timing: 240 ms of silence ends a frame up to 2400 baud, 100 ms below 9600,
// 50 ms from 9600 on; the answer must come within 2 s up to 2400 baud, else 1 s.
inline constexpr codec_timing_row modbus_rtu_gap_table[] = {
    {2400, 240000}, {9599, 100000}, {INT_MAX, 50000}};
inline constexpr codec_timing_row modbus_rtu_guard_table[] = {
    {2400, 150000}, {9599, 100000}, {INT_MAX, 50000}};
inline constexpr codec_timing_row modbus_rtu_answer_table[] = {{2400, 2000000}, {INT_MAX, 1000000}};
// ASCII: one second for the gap, the guard and the answer at every baud.
inline constexpr codec_timing_row modbus_ascii_table[] = {{INT_MAX, 1000000}};

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

// One Modbus request: builds its payload and checks the answer payload. Return
// codes: 0 success; -3 the answer is malformed or does not answer this request;
// -4 the function is unset or its answer is not decoded; -5 a range the function
// does not allow; -(256 + exception code) for an exception answer.
class modbus_request {
 public:
  static constexpr int ok = 0;
  static constexpr int bad_answer = -3;
  static constexpr int bad_function = -4;
  static constexpr int bad_range = -5;
  static constexpr int exception_base = -256;  // -(256 + code) = exception_base - code

  // 1..6, 15 or 16; else -4 and the function stays as it was.
  int set_function(int code);

  // The first coil or register, and the quantity (functions 1..4, 15, 16) or the
  // value (5, 6). Quantities: 1..2000 for function 1, 1..125 for 2 and 3, 1..1968
  // for 15, 1..120 for 16; 4, 5 and 6 take any value. -5 when the quantity is out
  // of range or no function is set; nothing changes then.
  int set_range(uint16_t address, int count_or_value);

  // The unit (device) address used when build or check_answer is given -1.
  void set_unit(int unit);
  int unit() const { return unit_; }

  // The data field sent with functions 15 and 16.
  void set_data(const std::vector<uint8_t>& data);

  // Replaces out with the request payload for unit (-1: the default unit).
  // -4 for an unset function; -5 when the data field of function 15 or 16 is
  // longer than its one-byte count can say (255 bytes).
  int build(std::vector<uint8_t>& out, int unit) const;

  // Checks an answer payload for unit (-1: the default unit). 0: accepted, and for
  // functions 2..4 the answer's data field is kept for take_data; -3, -4 or an
  // exception code as above.
  int check_answer(const std::vector<uint8_t>& payload, int unit);

  // Copies the data field of the last checked answer (for 15 and 16: the data
  // field sent); -4 when no function is set.
  int take_data(std::vector<uint8_t>& out) const;

  int function() const { return function_; }
  uint16_t address() const { return address_; }
  int count_or_value() const { return count_; }

 private:
  int function_ = -1;
  uint16_t address_ = 0;
  int count_ = 0;
  int unit_ = 1;
  std::vector<uint8_t> data_;
};
