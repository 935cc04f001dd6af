// The subcommands of kv4t; each returns its exit code (tool.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/tool.h"

struct LoopArgs {
  std::optional<std::string> instrument, version;
  LineArgs line;  // baud, bits, parity, stop; delay is the polling interval
  // Values into the loop set; a new instrument brings its own defaults first.
  bool ApplyTo(PortSettings& loop, std::string& error) const;
};

int RunPorts(const CommonArgs& args);
int RunIdentify(const CommonArgs& args);
int RunLoopRead(const CommonArgs& args);
int RunLoopWrite(const CommonArgs& args, const LoopArgs& loop);
// target: the new RS-485 settings (what is not given keeps the link's values).
int RunRs485Write(const CommonArgs& args, const LineArgs& target, bool verify);
int RunLineTest(const CommonArgs& args, int repeat);
// The scan's own options; texts as given, checked by RunScan.
struct ScanArgs {
  bool all = false;       // every converter on the line, not the first only
  bool modbus = false;    // the wake-up coil at the Modbus units too
  bool estimate = false;  // only say how long the scan would take
  std::optional<int> latency_ms;
  // Not given: not narrowed (an empty text given is refused).
  std::optional<std::string> rates, frames, alens, addresses;
};
int RunScan(const CommonArgs& args, const ScanArgs& scan);
int RunConfigShow(const CommonArgs& args, const std::string& file);
int RunConfigWrite(const CommonArgs& args, const std::string& file, const LineArgs& rs485,
                   const LoopArgs& loop);
int RunCatalogCheck(const CommonArgs& args, const std::vector<std::string>& files);
