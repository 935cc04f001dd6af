// A walk through the configurator's main job without its window, for the demo:
// reach the converter on a port, check that it is a KV4T, read the instrument on
// its current loop, write new RS-485 settings and make them take effect, then reach
// it again at the settings it now uses. Prints each step; exits 0 when all went well.
//
//   kv4t_demo PORT [BAUD ADDRESS DELAY]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/converter_device.h"
#include "store/catalogue.h"
#include "store/codepage.h"

namespace {

std::string Show(const std::string& cp1251) { return Cp1251ToUtf8(cp1251); }

bool Step(bool ok, const char* what, const std::string& error) {
  std::printf("%-44s %s%s%s\n", what, ok ? "ok" : "FAILED", ok || error.empty() ? "" : ": ",
              ok ? "" : Show(error).c_str());
  std::fflush(stdout);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kv4t_demo PORT [BAUD ADDRESS DELAY]\n");
    return 2;
  }
  const int32_t new_baud = argc > 2 ? std::atoi(argv[2]) : 19200;
  const int32_t new_address = argc > 3 ? std::atoi(argv[3]) : 20;
  const int32_t new_delay = argc > 4 ? std::atoi(argv[4]) : 5;

  LoadCatalogue();
  std::printf("instrument catalogue: %zu entries from the program's folder\n", Catalogue().size());
  for (const auto& entry : Catalogue().entries())
    std::printf("  %-12s %-12s %s\n", Show(entry->name).c_str(), Show(entry->version).c_str(),
                Show(entry->description).c_str());

  ConverterDevice device;
  device.LinkSet().port = argv[1];
  std::string error;

  std::printf("\nport %s at %s, address %d\n", argv[1],
              DescribePortSettings(device.LinkSet()).c_str(), device.LinkSet().address);
  if (!Step(device.Connect(nullptr, false, &error), "connect and identify", error)) return 1;
  std::printf("  converter \"%s\", firmware \"%s\"\n", Show(device.LinkSet().devtype).c_str(),
              Show(device.LinkSet().fwver).c_str());

  if (!Step(device.ReadLoopSettings(nullptr), "read the current-loop instrument", "")) return 1;
  const PortSettings& loop = device.LoopSet();
  std::printf("  instrument \"%s\" \"%s\", %s, poll value %d\n", Show(loop.devtype).c_str(),
              Show(loop.fwver).c_str(), DescribePortSettings(loop).c_str(), loop.delay);

  PortSettings& rs = device.Rs485Set();
  rs.baud = new_baud;
  rs.bytesize = 8;
  rs.parity = 0;
  rs.stopbits = 0;
  rs.address = new_address;
  rs.alen = 8;
  rs.proto = 0;
  rs.delay = new_delay;
  std::printf("\nRS-485 settings to write: %s, address %d, answer delay %d ms, RAVIK\n",
              DescribePortSettings(rs).c_str(), rs.address, rs.delay);
  if (!Step(device.WriteRs485Settings(nullptr), "write the RS-485 settings and \"APLY\"", ""))
    return 1;
  device.ClosePort();

  std::printf("\nthe link now uses %s, address %d\n", DescribePortSettings(device.LinkSet()).c_str(),
              device.LinkSet().address);
  error.clear();
  if (!Step(device.Connect(nullptr, false, &error), "connect again at the new settings", error))
    return 1;
  device.ClosePort();
  std::printf("\ndone\n");
  ClearCatalogue();
  return 0;
}
