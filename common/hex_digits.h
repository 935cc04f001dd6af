// Hexadecimal digits, as the Modbus ASCII frames, the registry file and the
// object identifiers write them.
#pragma once

#include <cstdint>

// The value of a hexadecimal digit of either case, or -1 for any other character.
constexpr int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
