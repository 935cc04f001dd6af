#include "fuzz_codec_feed.h"
#include "link/modbus_ascii.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static modbus_ascii_codec codec;
  static modbus_ascii_codec twin;
  fuzz_codec_feed(codec, twin, data, size);
  return 0;
}
