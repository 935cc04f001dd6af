#include "link/modbus_request.h"

#include <climits>

int modbus_request::set_function(int code) {
  switch (code) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 15: case 16:
      function_ = code;
      return ok;
    default:
      return bad_function;
  }
}

int modbus_request::set_range(uint16_t address, int count_or_value) {
  int low = 1;
  int high = 0;
  switch (function_) {
    case 1: high = 2000; break;
    case 2: case 3: high = 125; break;
    case 15: high = 1968; break;
    case 16: high = 120; break;
    case 4: case 5: case 6: low = INT_MIN; high = INT_MAX; break;
    default: return bad_range;
  }
  if (count_or_value < low || count_or_value > high) return bad_range;
  address_ = address;
  count_ = count_or_value;
  return ok;
}

void modbus_request::set_unit(int unit) { unit_ = unit; }

void modbus_request::set_data(const std::vector<uint8_t>& data) { data_ = data; }

int modbus_request::build(std::vector<uint8_t>& out, int unit) const {
  const int u = unit == -1 ? unit_ : unit;
  const auto header = [&](std::vector<uint8_t>& v) {
    v.assign({static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(function_),
              static_cast<uint8_t>(address_ >> 8), static_cast<uint8_t>(address_ & 0xFF)});
  };
  switch (function_) {
    case 1: case 2: case 3: case 4: case 6:
      header(out);
      out.push_back(static_cast<uint8_t>((count_ >> 8) & 0xFF));
      out.push_back(static_cast<uint8_t>(count_ & 0xFF));
      return ok;
    case 5:
      header(out);
      out.push_back(count_ != 0 ? 0xFF : 0x00);
      out.push_back(0x00);
      return ok;
    case 15: case 16:
      // The byte count is a single byte: a longer data field cannot be framed.
      if (data_.size() > 255) return bad_range;
      header(out);
      out.push_back(static_cast<uint8_t>((count_ >> 8) & 0xFF));
      out.push_back(static_cast<uint8_t>(count_ & 0xFF));
      out.push_back(static_cast<uint8_t>(data_.size()));
      out.insert(out.end(), data_.begin(), data_.end());
      return ok;
    default:
      return bad_function;
  }
}

int modbus_request::check_answer(const std::vector<uint8_t>& payload, int unit) {
  if (function_ < 0) return bad_function;
  const int u = unit == -1 ? unit_ : unit;
  if (payload.size() < 3 || payload[0] != static_cast<uint8_t>(u & 0xFF) ||
      (payload[1] & 0x7F) != function_) {
    return bad_answer;
  }
  if (payload[1] & 0x80) return exception_base - payload[2];
  switch (function_) {
    case 2: case 3: case 4:
      if (payload.size() != static_cast<std::size_t>(payload[2]) + 3) return bad_answer;
      data_.assign(payload.begin() + 3, payload.end());
      return ok;
    case 5: case 6: case 15: case 16:
      return ok;
    default:
      return bad_function;
  }
}

int modbus_request::take_data(std::vector<uint8_t>& out) const {
  if (function_ < 0) return bad_function;
  out = data_;
  return ok;
}
