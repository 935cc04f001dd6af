// The commissioning report: what became of each row of a plan, one record per tag,
// replaced as a whole after every row. A table (cli/csv_table.h) in UTF-8 with a
// byte-order mark, so that a spreadsheet shows its Russian texts, with the plan's
// separator: a first record naming the format and its version, a header, then the
// records in the plan's order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/commission_plan.h"

inline constexpr const char* kReportTitle = "kv4t commission report";
inline constexpr int kReportFormat = 1;

enum class RowOutcome {
  kDone,     // written, applied and answering at its new settings
  kFailed,   // not reached, not written, or not answering at its new settings
  kSkipped,  // passed over at the user's word
};
// "done", "failed", "skipped".
const char* OutcomeWord(RowOutcome outcome);

struct ReportRecord {
  std::string tag;
  PortSettings target;  // as the plan gives it
  std::string device{}, version{};  // as the converter named itself (UTF-8), when it did
  std::string time{};     // UTC, "2024-05-06T07:08:09Z"
  RowOutcome outcome = RowOutcome::kFailed;
  std::string message{};  // why it failed, or what to check next
  int row = 0;          // read from a report: its row there
  friend bool operator==(const ReportRecord& a, const ReportRecord& b) {
    return a.tag == b.tag && SameTarget(a.target, b.target) && a.device == b.device &&
           a.version == b.version && a.time == b.time && a.outcome == b.outcome &&
           a.message == b.message;
  }
};

// The report's bytes.
std::string WriteReport(const std::vector<ReportRecord>& records, char separator);
// A report read back (empty bytes: a report without records). Findings with the
// report's rows when it is not a report of this format.
std::vector<CsvFinding> ReadReport(std::string_view bytes, std::vector<ReportRecord>& records);
// Whether a report belongs to a plan: each of its tags is the plan's and was given
// the settings the plan gives it now. Findings at the report's rows otherwise.
std::vector<CsvFinding> MatchReport(const Plan& plan, const std::vector<ReportRecord>& records);
