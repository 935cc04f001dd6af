#include "common/unicode.h"

namespace {

constexpr bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// One UTF-16 character (a surrogate pair or a single unit) at text[i], for both
// char16_t and 16-bit wchar_t text.
template <typename Unit>
char32_t next_utf16_unit(std::basic_string_view<Unit> text, std::size_t& i) {
  const char32_t u = static_cast<char16_t>(text[i++]);
  if (!is_surrogate(u)) return u;
  if (u <= 0xDBFF && i < text.size()) {
    const char32_t lo = static_cast<char16_t>(text[i]);
    if (lo >= 0xDC00 && lo <= 0xDFFF) {
      ++i;
      return 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
    }
  }
  return replacement_char;
}

template <typename Unit>
void append_utf16_unit(std::basic_string<Unit>& out, char32_t c) {
  if (is_surrogate(c)) c = replacement_char;
  if (c < 0x10000) {
    out += static_cast<Unit>(c);
  } else if (c <= 0x10FFFF) {
    c -= 0x10000;
    out += static_cast<Unit>(0xD800 + (c >> 10));
    out += static_cast<Unit>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<Unit>(replacement_char);
  }
}

constexpr bool wide_is_utf16 = sizeof(wchar_t) == 2;

}  // namespace

char32_t next_utf8(std::string_view text, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len;
  char32_t c;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2; c = b0 & 0x1F; min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3; c = b0 & 0x0F; min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4; c = b0 & 0x07; min = 0x10000;
  } else {
    ++i;
    return replacement_char;
  }
  if (text.size() - i < static_cast<std::size_t>(len)) {
    ++i;
    return replacement_char;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return replacement_char;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || is_surrogate(c)) {
    ++i;
    return replacement_char;
  }
  i += len;
  return c;
}

char32_t next_utf16(std::u16string_view text, std::size_t& i) { return next_utf16_unit(text, i); }

char32_t next_wide(std::wstring_view text, std::size_t& i) {
  if constexpr (wide_is_utf16) {
    return next_utf16_unit(text, i);
  } else {
    const auto c = static_cast<char32_t>(text[i++]);
    return (c > 0x10FFFF || is_surrogate(c)) ? replacement_char : c;
  }
}

void append_utf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || is_surrogate(c)) c = replacement_char;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void append_utf16(std::u16string& out, char32_t c) { append_utf16_unit(out, c); }

void append_wide(std::wstring& out, char32_t c) {
  if constexpr (wide_is_utf16)
    append_utf16_unit(out, c);
  else
    out += static_cast<wchar_t>(c);
}

std::wstring utf8_to_wide(std::string_view text) {
  return convert_text<std::wstring, next_utf8, append_wide>(text);
}

std::string wide_to_utf8(std::wstring_view text) {
  return convert_text<std::string, next_wide, append_utf8>(text);
}

std::wstring utf16_to_wide(std::u16string_view text) {
  return convert_text<std::wstring, next_utf16, append_wide>(text);
}

std::u16string wide_to_utf16(std::wstring_view text) {
  return convert_text<std::u16string, next_wide, append_utf16>(text);
}

bool is_valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t at = i;
    // A malformed unit comes back as the replacement character one byte on; the
    // character itself, written in the text, takes three.
    if (next_utf8(text, i) == replacement_char && i - at == 1) return false;
  }
  return true;
}
