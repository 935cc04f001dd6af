#include "fuzz_codec_feed.h"
#include "link/modbus_rtu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static modbus_rtu_codec codec;
  static modbus_rtu_codec twin;
  fuzz_codec_feed(codec, twin, data, size);
  return 0;
}
