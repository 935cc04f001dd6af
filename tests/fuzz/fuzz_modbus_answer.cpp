// The Modbus answer check with arbitrary answer payloads: the first bytes choose
// the request (function, unit, range), the rest is the answer.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/modbus_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  modbus_request request;
  request.set_unit(data[1]);
  const int function = data[0] & 0x1F;
  const bool function_set = request.set_function(function) == 0;
  request.set_range(static_cast<uint16_t>(data[2] << 8 | data[3]), data[2]);
  std::vector<uint8_t> answer(data + 4, data + size);
  const int unit = (data[0] & 0x20) ? -1 : data[1] ^ (data[0] >> 6);
  const int code = request.check_answer(answer, unit);

  if (!function_set && code != -4) std::abort();
  if (code == 0 && (function >= 2 && function <= 4)) {
    std::vector<uint8_t> field;
    if (request.take_data(field) != 0 || field.size() + 3 != answer.size()) std::abort();
  }
  if (code <= -256 && (answer.size() < 3 || -(256 + answer[2]) != code)) std::abort();
  if (code != 0 && code != -3 && code != -4 && code > -256) std::abort();

  std::vector<uint8_t> payload;
  request.build(payload, unit);
  return 0;
}
