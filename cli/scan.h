// The bus scan: the line settings and addresses at which a converter may answer,
// in order of likelihood, each probed once with the shortest answer time the line
// allows.
#pragma once

#include <cstdint>
#include <vector>

#include "store/port_settings.h"

struct ScanProbe {
  int32_t baud, bytesize, parity, stopbits, address, alen;
  friend bool operator==(const ScanProbe&, const ScanProbe&) = default;
};

// The probes, without repeats: the given settings, the factory settings, the
// common rates at the common addresses, then full sweeps (8-bit addresses at
// every rate and frame, then 11-bit ones).
std::vector<ScanProbe> ScanOrder(const PortSettings& given);

// Microseconds a probe waits for the answer at these line settings: the longest
// answer delay the converter can be set to and the longest identity answer.
int64_t ProbeAnswerUs(const ScanProbe& probe);
// The whole time of one probe on the line: the request sent and the answer time.
int64_t ProbeFloorUs(const ScanProbe& probe);
