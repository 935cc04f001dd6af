#include "fuzz_codec_feed.h"
#include "link/ravik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ravik_codec codec;
  static ravik_codec twin;
  fuzz_codec_feed(codec, twin, data, size);
  // The same bytes as a parameter name.
  std::vector<char> name(data, data + size);
  name.push_back('\0');
  bool ok = false;
  ravik_hash(name.data(), &ok);
  std::vector<uint8_t> request(data, data + (size < 20 ? size : 20));
  const std::vector<uint8_t> before = request;
  const bool made = ravik_make_request(request, size & 1, size & 2, static_cast<int>(size), 0x1234);
  if (made != (before.size() < 16)) std::abort();
  if (!made && request != before) std::abort();
  return 0;
}
