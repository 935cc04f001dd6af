// The line test's protocol on texts the converter sends (device and instrument
// names and versions, any bytes): formatted into lines and appended, it never
// exceeds its limit, a line never exceeds its buffer, and a line that was cut
// still ends its line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/test_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first byte repeats the input so that the protocol overflows sooner or later.
  const int rounds = input.empty() ? 1 : 1 + static_cast<unsigned char>(input.front()) % 64;
  const std::string format = "device: %s (%s)\r\n";
  std::string protocol;
  for (int round = 0; round < rounds; ++round) {
    std::string_view rest = input;
    while (!rest.empty()) {
      const std::size_t end = std::min(rest.find('|'), rest.size());
      const std::string name(rest.substr(0, end));
      rest.remove_prefix(std::min(end + 1, rest.size()));
      const std::string line = FormatProtocolLine(format, name.c_str(), name.c_str());
      if (line.size() >= kProtocolLineBytes || !line.ends_with("\r\n")) std::abort();
      AppendToProtocol(protocol, line);
      if (protocol.size() > kProtocolChars) std::abort();
    }
    AppendToProtocol(protocol, input);
    if (protocol.size() > kProtocolChars) std::abort();
  }
  return 0;
}
