// The converter's network address range. With 11-bit addressing the converter
// takes 0..2047, with 8-bit addressing 0..255. An address above the range is
// replaced by 2046 or 254 (deliberately not by the largest address 2047 or 255),
// a negative one by 0.
#pragma once

// alen 11 selects 11-bit addressing, any other value 8-bit addressing.
constexpr int CorrectNetworkAddress(int address, int alen) {
  if (address < 0) return 0;
  if (alen == 11) return address <= 2047 ? address : 2046;
  return address <= 255 ? address : 254;
}
