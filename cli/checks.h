// The converter's settings rules (device/settings_rules.h) as kv4t applies them:
// an empty text when the settings may be used, else the rule's message (UTF-8).
// Where the window warns or corrects a value (a frame the converter refuses, a
// word length that does not suit the protocol, an unknown instrument), kv4t
// refuses: a script is told, never given other settings than it asked for.
#pragma once

#include <string>
#include <vector>

#include "settings/port_settings.h"

// Before an RS-485 write (and into a configuration file): first the values the
// converter has no code for, which a configuration file may carry and no list of
// the page can show (a rate that is not a standard one, parity, stop bits and
// protocol outside their codes), then the RS-485 page's rules.
std::string CheckRs485Settings(const PortSettings& rs);
// Every one of those rules that does not hold, in the same order: a commissioning
// plan lists all that is wrong with a row at once.
std::vector<std::string> Rs485Findings(const PortSettings& rs);
// The loop instrument must be in the catalogue; its rate among its rates, the
// frame values it does not let the user choose at its defaults, the polling
// interval within 1..60 and the instrument's bounds at that rate.
std::string CheckLoopSettings(const PortSettings& loop);
// The link's address within the range of its address length: every request
// carries only the address bits of that length, so another address would reach
// another converter.
std::string CheckLinkAddress(const PortSettings& link);
// The line test reads the registers over Modbus RTU, which has 8 data bits: the
// link's word length must be 8.
std::string CheckLineTestLink(const PortSettings& link);
// The rate a line option gives must be a standard one.
std::string CheckStandardRate(int32_t baud);
