#include "store/codepage.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace {

// The upper halves (0x80..0xFF) of the three 8-bit Cyrillic code pages, one
// character per byte. Windows-1251 leaves 0x98 unassigned; it stands for U+0098.
constexpr char16_t kCp1251High[] =
    u"ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—\u0098™љ›њќћџ\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»јЅѕї"
    u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
static_assert(std::size(kCp1251High) == 129);

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

void AppendCp1251(std::string& out, char32_t c) { out += CharToCp1251(c); }

char32_t NextCp1251(std::string_view text, size_t& i) {
  const auto b = static_cast<unsigned char>(text[i++]);
  return b < 0x80 ? b : kCp1251High[b - 0x80];
}

// Bytes of an 8-bit code page whose upper half is `high` as UTF-16 or wide text:
// one unit per byte.
template <typename Out>
Out Widen(std::string_view bytes, const char16_t* high) {
  Out out;
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = static_cast<typename Out::value_type>(b < 0x80 ? b : high[b - 0x80]);
  }
  return out;
}

// DOS (CP866) and KOI8-R.
constexpr char16_t kCp866High[] =
    u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмноп░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
    u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀рстуфхцчшщъыьэюяЁёЄєЇїЎў°∙·√№¤■\u00A0";
static_assert(std::size(kCp866High) == 129);

constexpr char16_t kKoi8rHigh[] =
    u"─│┌┐└┘├┤┬┴┼▀▄█▌▐░▒▓⌠■∙√≈≤≥\u00A0⌡°²·÷═║╒ё╓╔╕╖╗╘╙╚╛╜╝╞╟╠╡Ё╢╣╤╥╦╧╨╩╪╫╬©"
    u"юабцдефгхийклмнопярстужвьызшэщчъЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ";
static_assert(std::size(kKoi8rHigh) == 129);

const char16_t* HighTable(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Cp866: return kCp866High;
    case TextEncoding::Koi8r: return kKoi8rHigh;
    default: return kCp1251High;
  }
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
  return Widen<std::wstring>(text, kCp1251High);
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
  return Widen<std::u16string>(text, kCp1251High);
}

std::string Utf16ToCp1251(std::u16string_view text) {
  return convert_text<std::string, next_utf16, AppendCp1251>(text);
}

std::string Cp1251ToUtf8(std::string_view text) {
  return convert_text<std::string, NextCp1251, append_utf8>(text);
}

std::string Utf8ToCp1251(std::string_view text) {
  return convert_text<std::string, next_utf8, AppendCp1251>(text);
}

std::wstring DecodeBytes(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) return Utf8ToWide(bytes);
  return Widen<std::wstring>(bytes, HighTable(encoding));
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
