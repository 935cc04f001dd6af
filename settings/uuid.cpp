#include "settings/uuid.h"

#include <cstdio>

#include "common/hex_digits.h"

bool Guid::IsNil() const {
  if (data1 != 0 || data2 != 0 || data3 != 0) return false;
  for (uint8_t b : data4)
    if (b != 0) return false;
  return true;
}

std::string PortableGuidToText(const Guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

namespace {

// The value of `digits` hex digits at `text[at]`; false on a non-digit.
bool HexField(std::string_view text, size_t at, size_t digits, uint32_t& value) {
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    int v = HexDigitValue(static_cast<unsigned char>(text[at + i]));
    if (v < 0) return false;
    value = value << 4 | static_cast<uint32_t>(v);
  }
  return true;
}

}  // namespace

bool PortableGuidFromText(std::string_view text, Guid& guid) {
  guid = Guid{};
  if (text.size() != 36) return false;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  Guid g;
  uint32_t v = 0;
  if (!HexField(text, 0, 8, v)) return false;
  g.data1 = v;
  if (!HexField(text, 9, 4, v)) return false;
  g.data2 = static_cast<uint16_t>(v);
  if (!HexField(text, 14, 4, v)) return false;
  g.data3 = static_cast<uint16_t>(v);
  static const size_t kByteAt[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!HexField(text, kByteAt[i], 2, v)) return false;
    g.data4[i] = static_cast<uint8_t>(v);
  }
  guid = g;
  return true;
}
