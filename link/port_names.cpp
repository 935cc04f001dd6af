#include "link/port_names.h"

#include <climits>
#include <cstdint>

int com_port_number(std::wstring_view name) {
  if (name.size() < 4 || name.compare(0, 3, L"COM") != 0) return -1;
  int64_t n = 0;
  std::size_t i = 3;
  for (; i < name.size() && name[i] >= L'0' && name[i] <= L'9'; ++i) {
    n = n * 10 + (name[i] - L'0');
    if (n > INT_MAX) return -1;
  }
  return i == 3 ? -1 : static_cast<int>(n);
}

std::string wide_to_utf8(std::wstring_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c > 0x10FFFF) c = '?';
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
  return out;
}

std::wstring utf8_to_wide(std::string_view text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    std::size_t len = 1;
    if (c >= 0xF0 && i + 3 < text.size()) {
      cp = ((c & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) |
           (text[i + 3] & 0x3Fu);
      len = 4;
    } else if (c >= 0xE0 && i + 2 < text.size()) {
      cp = ((c & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
      len = 3;
    } else if (c >= 0xC0 && i + 1 < text.size()) {
      cp = ((c & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu);
      len = 2;
    }
    out += static_cast<wchar_t>(cp);
    i += len;
  }
  return out;
}
