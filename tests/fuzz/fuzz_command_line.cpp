// Arbitrary bytes as the configurator's command line: handed to the argument
// library, then applied as the start-up applies it, to a converter object and
// without one. The link set receives only what the keys allow, and a silent state
// never comes without a configuration file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "catalogue/catalogue.h"
#include "pargo/pargo.h"
#include "settings/converter_settings.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A converter object takes its loop defaults from the catalogue.
  Catalogue().AddBuiltInWhenEmpty();
  const std::string line(reinterpret_cast<const char*>(data), size);
  PRGO_SetArguments(line.c_str());

  ConverterSettings device;
  const PortSettings stored = device.storedSettings[ConverterSettings::kStoredLink];
  CommandLineOptions options;
  ApplyCommandLine(&device, options);
  check(device.storedSettings[ConverterSettings::kStoredLink] == stored);
  check(device.LinkSet().port.rfind("COM", 0) == 0);
  for (int32_t value : {device.LinkSet().baud, device.LinkSet().bytesize, device.LinkSet().parity,
                        device.LinkSet().stopbits, device.LinkSet().alen,
                        device.LinkSet().address, device.LinkSet().adaptor})
    check(value >= 0);
  check(!options.Silent() || options.FileMode());
  check(options.FileMode() == !options.filePath.empty());
  check(options.operation >= CommandLineOptions::kOperationRead &&
        options.operation <= CommandLineOptions::kOperationNone);

  CommandLineOptions alone;
  ApplyCommandLine(nullptr, alone);
  check(alone.x == options.x && alone.y == options.y && alone.w == options.w &&
        alone.h == options.h);
  return 0;
}
