// The line test's protocol: the text the test page shows line by line, kept to
// a bounded length, and the dump of the converter's holding registers in rows of
// four. Pure text work, no controls and no device. Texts are program text
// (Windows-1251), one character per byte.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// The protocol keeps at most this many characters.
inline constexpr std::size_t kProtocolChars = 16000;
// One appended piece is formatted into a buffer of this many bytes.
inline constexpr std::size_t kProtocolLineBytes = 1024;

// Appends text to the protocol. When the protocol grows beyond kProtocolChars,
// only its last kProtocolChars characters stay, and when they begin inside a line
// the rest of that line (up to and including its line break, CR or CR LF) goes
// too, so that the protocol starts with a whole line. A kept text with no CR
// before its last character is left as it is.
void AppendToProtocol(std::string& protocol, std::string_view text);

// printf-style formatting into kProtocolLineBytes: longer output is cut, and a
// cut line keeps the CR LF its format ends with, so the next line still starts on
// a line of its own. The format is program text and must match args.
template <typename... Args>
std::string FormatProtocolLine(const std::string& format, Args... args) {
  std::string line;
  std::size_t full = 0;
  if constexpr (sizeof...(Args) == 0) {
    line = format;
    full = line.size();
  } else {
    char buffer[kProtocolLineBytes];
    const int n = std::snprintf(buffer, sizeof buffer, format.c_str(), args...);
    if (n < 0) return {};
    full = static_cast<std::size_t>(n);
    line.assign(buffer, std::min(full, sizeof buffer - 1));
  }
  if (full > kProtocolLineBytes - 1) {
    line.resize(kProtocolLineBytes - 1);
    if (format.ends_with("\r\n")) line.replace(line.size() - 2, 2, "\r\n");
  }
  return line;
}

// The register dump of the line test: registers 00 to FF read one after the other,
// four to a row ("%02X-%02X:" and then " %04X" for a value, " ----" for a register
// that did not answer), and the last run of consecutive readable registers named
// in a summary after the scan.
class RegisterDump {
 public:
  // The next register, in order from 00: read with value, or not. After the fourth
  // register of a row answers the row with its line break, else an empty text.
  std::string Add(int reg, bool read, int value);
  // The summary line with its line break, or an empty text when there is no run
  // to name (none at all, or one that ends at register 00).
  std::string Summary() const;

 private:
  std::string row_;
  int first_ = -1;  // the current run of readable registers, -1 when there is none
  int last_ = -1;
};
