#include "device/test_protocol.h"

#include "common/code_pages.h"

namespace {

constexpr const char* kSummaryOne = "Адрес считанной ячейки: %02X\r\n";
constexpr const char* kSummaryRun = "Адреса считанных ячеек: %02X-%02X\r\n";

}  // namespace

void AppendToProtocol(std::string& protocol, std::string_view text) {
  protocol += text;
  if (protocol.size() <= kProtocolChars) return;
  const std::size_t cut = protocol.size() - kProtocolChars;
  const char before = protocol[cut - 1];
  protocol.erase(0, cut);
  std::size_t drop = 0;
  if (before == '\r') {
    // Cut between CR and LF: only the LF belongs to the line before.
    drop = protocol.front() == '\n' ? 1 : 0;
  } else if (before != '\n') {
    const std::size_t cr = protocol.find('\r');
    if (cr != std::string::npos && cr + 1 < protocol.size())
      drop = cr + 1 + (protocol[cr + 1] == '\n' ? 1 : 0);
  }
  protocol.erase(0, drop);
}

std::string RegisterDump::Add(int reg, bool read, int value) {
  if (reg % 4 == 0) row_ = FormatProtocolLine(std::string("%02X-%02X:"), reg, reg + 3);
  if (read) {
    row_ += FormatProtocolLine(std::string(" %04X"), value & 0xFFFF);
    if (first_ < 0) first_ = reg;
    last_ = reg;
  } else {
    row_ += " ----";
    // A register that does not answer ends the run; the summary names only the
    // last run, so an earlier one must not reach over the gap to a later one.
    first_ = last_ = -1;
  }
  if (reg % 4 != 3) return {};
  return row_ + "\r\n";
}

std::string RegisterDump::Summary() const {
  if (last_ <= 0) return {};
  if (first_ == last_) return FormatProtocolLine(Utf8ToCp1251(kSummaryOne), last_);
  return FormatProtocolLine(Utf8ToCp1251(kSummaryRun), first_, last_);
}
