// Windows-1251, the code page of the program's own text: object, port, device and
// instrument names and every text the windows show are 8-bit Windows-1251 inside
// the program. It becomes UTF-16 at Windows calls, in registry values and in
// archive files; source texts are UTF-8. The conversions are table driven and
// portable: they never use the system's ANSI code page, which garbles Cyrillic on
// a non-Russian Windows.
//
// - Every byte maps to a distinct character (the one byte the code page leaves
//   unassigned, 0x98, maps to U+0098), so bytes -> wide -> bytes is the identity.
// - A character Windows-1251 cannot hold becomes '?'.
// - Malformed UTF-8 or UTF-16 (a bad lead byte, a cut sequence, a lone surrogate)
//   gives U+FFFD for the bad unit, which becomes '?'.
// - "Wide" text is std::wstring: UTF-16 where wchar_t has 16 bits (Windows), one
//   code point per wchar_t elsewhere.
#pragma once

#include <string>
#include <string_view>

// The characters of the bytes 0x80..0xFF, in byte order.
extern const char16_t kCp1251UpperHalf[129];

// The byte of a character, or '?' when the code page has none.
char CharToCp1251(char32_t c);

std::wstring Cp1251ToWide(std::string_view text);
std::string WideToCp1251(std::wstring_view text);
std::u16string Cp1251ToUtf16(std::string_view text);
std::string Utf16ToCp1251(std::u16string_view text);
std::string Cp1251ToUtf8(std::string_view text);
std::string Utf8ToCp1251(std::string_view text);
