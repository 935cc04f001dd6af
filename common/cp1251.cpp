#include "common/cp1251.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "common/unicode.h"

constexpr char16_t kCp1251UpperHalf[129] =
    u"ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—\u0098™љ›њќћџ\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»јЅѕї"
    u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
static_assert(kCp1251UpperHalf[127] == u'я' && kCp1251UpperHalf[128] == 0);

namespace {

// Reverse table of the upper half, sorted by character, built once.
struct ReverseEntry {
  char16_t ch;
  unsigned char byte;
};

struct Cp1251Reverse {
  std::array<ReverseEntry, 128> entries{};
  Cp1251Reverse() {
    for (int i = 0; i < 128; ++i)
      entries[i] = {kCp1251UpperHalf[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(entries.begin(), entries.end(),
              [](const ReverseEntry& a, const ReverseEntry& b) { return a.ch < b.ch; });
  }
};

const Cp1251Reverse& Reverse1251() {
  static const Cp1251Reverse table;
  return table;
}

void AppendCp1251(std::string& out, char32_t c) { out += CharToCp1251(c); }

char32_t NextCp1251(std::string_view text, size_t& i) {
  const auto b = static_cast<unsigned char>(text[i++]);
  return b < 0x80 ? b : kCp1251UpperHalf[b - 0x80];
}

// One unit per byte.
template <typename Out>
Out Widen(std::string_view bytes) {
  Out out;
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = static_cast<typename Out::value_type>(b < 0x80 ? b : kCp1251UpperHalf[b - 0x80]);
  }
  return out;
}

}  // namespace

char CharToCp1251(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<char>(0xC0 + (c - 0x0410));
  if (c > 0xFFFF) return '?';
  const auto& e = Reverse1251().entries;
  auto it = std::lower_bound(e.begin(), e.end(), static_cast<char16_t>(c),
                             [](const ReverseEntry& a, char16_t v) { return a.ch < v; });
  if (it != e.end() && it->ch == c) return static_cast<char>(it->byte);
  return '?';
}

std::wstring Cp1251ToWide(std::string_view text) { return Widen<std::wstring>(text); }

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

std::u16string Cp1251ToUtf16(std::string_view text) { return Widen<std::u16string>(text); }

std::string Utf16ToCp1251(std::u16string_view text) {
  return convert_text<std::string, next_utf16, AppendCp1251>(text);
}

std::string Cp1251ToUtf8(std::string_view text) {
  return convert_text<std::string, NextCp1251, append_utf8>(text);
}

std::string Utf8ToCp1251(std::string_view text) {
  return convert_text<std::string, next_utf8, AppendCp1251>(text);
}
