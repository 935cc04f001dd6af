// modbus_request builds Modbus request payloads and checks the answers, whatever
// the framing (modbus_rtu.h, modbus_ascii.h) that carries them.
#pragma once

#include <cstdint>
#include <vector>

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
