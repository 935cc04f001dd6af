// Text code pages. Data text inside the program is 8-bit Windows-1251
// (common/cp1251.h, whose conversions this header brings along); the instrument
// description files may be written in UTF-8, Windows-1251, CP866 or KOI8-R. All
// conversions here are table driven and portable: they never use the system's ANSI
// code page, which garbles Cyrillic on a non-Russian Windows. A character a code
// page cannot hold becomes '?'; malformed UTF-8 gives U+FFFD for the bad unit.
// The Unicode forms themselves (UTF-8, UTF-16, wide) are converted by
// common/unicode.h, whose functions the four below name in this layer's style.
#pragma once

#include <string>
#include <string_view>

#include "common/cp1251.h"
#include "common/unicode.h"

// The 8-bit encodings the catalogue's description files may declare.
enum class TextEncoding {
  None,    // no declaration or an unknown one: bytes taken as Windows-1251
  Utf8,
  Cp1251,
  Cp866,
  Koi8r,
};

// "UTF-8", "CP1251", "CP866", "KOI8-R" compared without regard to case; anything
// else gives TextEncoding::None.
TextEncoding TextEncodingFromName(std::wstring_view name);

// One byte of an 8-bit code page as a character, and back (false when the code page
// cannot hold the character). Utf8 is not an 8-bit code page: it is treated as
// Windows-1251 by these two.
char32_t ByteToChar(unsigned char byte, TextEncoding encoding);

// UTF-8 <-> wide, UTF-16 <-> wide.
inline std::wstring Utf8ToWide(std::string_view text) { return utf8_to_wide(text); }
inline std::string WideToUtf8(std::wstring_view text) { return wide_to_utf8(text); }
inline std::wstring Utf16ToWide(std::u16string_view text) { return utf16_to_wide(text); }
inline std::u16string WideToUtf16(std::wstring_view text) { return wide_to_utf16(text); }

// Bytes in the given encoding as wide text (None and Cp1251: Windows-1251).
std::wstring DecodeBytes(std::string_view bytes, TextEncoding encoding);

// Bytes in the given encoding as Windows-1251 text; for None and Cp1251 the bytes
// themselves.
std::string DecodeToCp1251(std::string_view bytes, TextEncoding encoding);
