// The nine line rates that the converter's RS-485 side, the computer-port page and
// the channel accept, in the order in which the pages list them and the converter
// numbers them ("BPS" code 0 is 2400). Every layer takes the list from here.
#pragma once

#include <algorithm>
#include <iterator>

inline constexpr int standard_baud_rates[] = {2400,  4800,  9600,  14400, 19200,
                                              28800, 38400, 57600, 115200};

constexpr bool is_standard_baud_rate(long long baud) {
  return std::find(std::begin(standard_baud_rates), std::end(standard_baud_rates), baud) !=
         std::end(standard_baud_rates);
}
