// The commissioning report's reader on arbitrary bytes: never a crash or a hang;
// a report it accepts is written back to bytes that read to the same records, and
// those bytes are written the same again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/commission_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<ReportRecord> records;
  if (!ReadReport(bytes, records).empty()) {
    if (!records.empty()) std::abort();
    return 0;
  }
  for (char separator : {',', ';'}) {
    const std::string text = WriteReport(records, separator);
    std::vector<ReportRecord> again;
    if (!ReadReport(text, again).empty() || again != records) std::abort();
    if (WriteReport(again, separator) != text) std::abort();
  }
  return 0;
}
