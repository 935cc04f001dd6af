// Object identities (GUIDs) and their text form: 36 characters, lower-case hex
// digits with hyphens after the 8th, 12th, 16th and 20th digit, no braces — the form
// the Windows RPC run time gives and the registry and configuration files hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Laid out like the Windows GUID: data1..data3 little-endian in memory.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  bool IsNil() const;
  friend bool operator==(const Guid&, const Guid&) = default;
};

// The text of a GUID; false when it cannot be produced (on Windows the RPC run
// time may fail to allocate). Windows: UuidToStringW; elsewhere the portable code.
bool GuidToText(const Guid& guid, std::string& text);

// Parses the 36-character text (hex digits of either case); false, and `guid`
// all zero, when the text is not a UUID. Windows: UuidFromStringW.
bool GuidFromText(std::string_view text, Guid& guid);

// The portable conversions behind the two above, giving the same text.
std::string PortableGuidToText(const Guid& guid);
bool PortableGuidFromText(std::string_view text, Guid& guid);
