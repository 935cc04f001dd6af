// The checks the RS-485 and loop pages make before a write, without the pages:
// an empty text when the settings may be written, else the message (UTF-8).
#pragma once

#include <string>

#include "store/port_settings.h"

// Besides the page's checks, the values a configuration file may carry that the
// page's lists cannot show: the rate must be a standard one, parity, stop bits
// and protocol within their codes.
std::string CheckRs485Settings(const PortSettings& rs);
// The loop instrument must be in the catalogue; its rate among its rates, the
// frame values it does not let the user choose at its defaults, the polling
// interval within 1..60 and the instrument's bounds at that rate.
std::string CheckLoopSettings(const PortSettings& loop);
