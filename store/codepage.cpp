#include "store/codepage.h"

#include <algorithm>
#include <array>

namespace {

// Upper halves (0x80..0xFF) of the three 8-bit Cyrillic code pages.
constexpr char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr char16_t kKoi8rHigh[128] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};

const char16_t* HighTable(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Cp866: return kCp866High;
    case TextEncoding::Koi8r: return kKoi8rHigh;
    default: return kCp1251High;
  }
}

// Reverse table of Windows-1251's upper half, sorted by character, built once.
struct ReverseEntry {
  char16_t ch;
  unsigned char byte;
};

struct Cp1251Reverse {
  std::array<ReverseEntry, 128> entries{};
  Cp1251Reverse() {
    for (int i = 0; i < 128; ++i)
      entries[i] = {kCp1251High[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(entries.begin(), entries.end(),
              [](const ReverseEntry& a, const ReverseEntry& b) { return a.ch < b.ch; });
  }
};

const Cp1251Reverse& Reverse1251() {
  static const Cp1251Reverse table;
  return table;
}

// The Windows-1251 byte of a character, or '?' when the code page has none.
inline char CharToCp1251(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<char>(0xC0 + (c - 0x0410));
  if (c > 0xFFFF) return '?';
  const auto& e = Reverse1251().entries;
  auto it = std::lower_bound(e.begin(), e.end(), static_cast<char16_t>(c),
                             [](const ReverseEntry& a, char16_t v) { return a.ch < v; });
  if (it != e.end() && it->ch == c) return static_cast<char>(it->byte);
  return '?';
}

bool EqualsNoCase(std::wstring_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t c = a[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != static_cast<wchar_t>(b[i])) return false;
  }
  return true;
}

}  // namespace

TextEncoding TextEncodingFromName(std::wstring_view name) {
  if (EqualsNoCase(name, "UTF-8")) return TextEncoding::Utf8;
  if (EqualsNoCase(name, "CP1251")) return TextEncoding::Cp1251;
  if (EqualsNoCase(name, "CP866")) return TextEncoding::Cp866;
  if (EqualsNoCase(name, "KOI8-R")) return TextEncoding::Koi8r;
  return TextEncoding::None;
}

char32_t ByteToChar(unsigned char byte, TextEncoding encoding) {
  if (byte < 0x80) return byte;
  return HighTable(encoding)[byte - 0x80];
}

std::wstring Cp1251ToWide(std::string_view text) {
  std::wstring out;
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    out[i] = static_cast<wchar_t>(b < 0x80 ? b : kCp1251High[b - 0x80]);
  }
  return out;
}

std::string WideToCp1251(std::wstring_view text) {
  // One byte per character, and a character is at least one wchar_t.
  std::string out(text.size(), '\0');
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<char32_t>(text[i]);
    if (c < 0x80) {
      out[n++] = static_cast<char>(c);
      ++i;
    } else {
      out[n++] = CharToCp1251(next_wide(text, i));
    }
  }
  out.resize(n);
  return out;
}

std::u16string Cp1251ToUtf16(std::string_view text) {
  std::u16string out;
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    out[i] = b < 0x80 ? b : kCp1251High[b - 0x80];
  }
  return out;
}

std::string Utf16ToCp1251(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out += CharToCp1251(next_utf16(text, i));
  return out;
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char b : text) append_utf8(out, ByteToChar(b, TextEncoding::Cp1251));
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out += CharToCp1251(next_utf8(text, i));
  return out;
}

std::wstring DecodeBytes(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) return Utf8ToWide(bytes);
  const char16_t* high = HighTable(encoding);
  std::wstring out;
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = static_cast<wchar_t>(b < 0x80 ? b : high[b - 0x80]);
  }
  return out;
}

std::string DecodeToCp1251(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::None:
    case TextEncoding::Cp1251:
      return std::string(bytes);
    case TextEncoding::Utf8:
      return Utf8ToCp1251(bytes);
    default: {
      const char16_t* high = HighTable(encoding);
      std::string out;
      out.reserve(bytes.size());
      for (unsigned char b : bytes) out += b < 0x80 ? static_cast<char>(b) : CharToCp1251(high[b - 0x80]);
      return out;
    }
  }
}
