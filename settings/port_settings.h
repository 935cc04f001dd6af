// One serial parameter set: how a line is run (baud rate, data bits, parity, stop
// bits), the network address and its length, the adaptor kind, the protocol and a
// timing value, plus port and device texts. The same record serves the computer's
// link to the converter, the converter's RS-485 side and the instrument on the
// current loop.
#pragma once

#include <cstdint>
#include <string>

// Every field has an initializer, so a record may be written with designated
// initializers that name only some of them.
struct PortSettings {
  std::string port{};    // "COM1" (link set only)
  std::string devtype{}; // loop: instrument model; link: device name the converter reports
  std::string fwver{};   // loop: instrument version; link: converter firmware version
  int32_t baud = 0;      // bit/s
  int32_t bytesize = 0;  // 7 or 8
  int32_t parity = 0;    // 0 none, 1 odd, 2 even
  int32_t stopbits = 0;  // 0 one, 2 two
  int32_t address = 0;
  int32_t alen = 8;      // 8 or 11 address bits
  int32_t adaptor = 0;   // 0 automatic, 1 RTS-controlled
  int32_t proto = 0;     // 0 RAVIK, 1 Modbus ASCII, 2 Modbus RTU
  int32_t delay = 2;     // link: answer delay; RS-485: converter answer delay; loop: poll value
  bool changed = false;  // tells the page showing the record to reload it

  friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

// The baud rates a stored value may have: 2400 ... 115200.
bool IsStandardBaudRate(int32_t baud);

// "%u %u-%c-%u": baud, data bits, 'o'/'e'/'n', 1 or 2 stop bits — "9600 8-n-1".
std::string DescribePortSettings(const PortSettings& settings);
