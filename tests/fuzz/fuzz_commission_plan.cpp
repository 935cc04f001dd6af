// The commissioning plan's reader on arbitrary bytes: never a crash or a hang; a
// plan it accepts has rows with tags of their own, addresses no other row answers
// to, and settings the converter's rules let through.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "cli/checks.h"
#include "cli/commission_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Plan plan;
  const std::vector<CsvFinding> findings = ReadPlan(bytes, {}, plan);
  if (!findings.empty()) {
    if (!plan.rows.empty()) std::abort();
    for (const CsvFinding& f : findings)
      if (f.text.empty() || f.row < 0) std::abort();
    return 0;
  }
  if (plan.rows.empty()) std::abort();
  std::set<std::string> tags;
  std::set<int32_t> addresses;
  for (const PlanRow& row : plan.rows) {
    if (!tags.insert(row.tag).second || !CheckTag(row.tag).empty()) std::abort();
    if (!addresses.insert(row.target.alen == 11 ? row.target.address : row.target.address * 8)
             .second)
      std::abort();
    if (!Rs485Findings(row.target).empty()) std::abort();
  }
  return 0;
}
