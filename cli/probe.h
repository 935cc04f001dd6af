// One identity read at a probe's line settings and address: one attempt, with the
// shortest answer time the line allows (ProbeAnswerUs), as the bus scan probes.
#pragma once

#include "cli/scan.h"
#include "device/converter_device.h"

// Whether a converter answered as addressed: a late answer from another address
// does not count. The port must be open; the channel's answer time and read pause
// are its own again afterwards.
bool ProbeOnce(ConverterDevice& device, const ScanProbe& probe);
