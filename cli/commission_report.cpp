#include "cli/commission_report.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>

#include "common/text_format.h"
#include "common/unicode.h"

namespace {


// After the plan's columns.
enum class Extra { kDevice, kVersion, kTime, kOutcome, kMessage };
constexpr const char* kExtraNames[] = {"device", "version", "time", "outcome", "message"};
constexpr std::size_t kExtras = std::size(kExtraNames);
constexpr std::size_t kColumns = kPlanColumns + kExtras;

constexpr RowOutcome kOutcomes[] = {RowOutcome::kDone, RowOutcome::kFailed, RowOutcome::kSkipped};

std::string ColumnName(std::size_t i) {
  return i < kPlanColumns ? kPlanColumnNames[i] : kExtraNames[i - kPlanColumns];
}

std::optional<std::size_t> ColumnOf(std::string_view name) {
  if (const std::optional<PlanColumn> column = PlanColumnOf(name))
    return static_cast<std::size_t>(*column);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < kExtras; ++i) {
    const std::string_view extra = kExtraNames[i];
    if (name.size() == extra.size() &&
        std::equal(name.begin(), name.end(), extra.begin(),
                   [&](char a, char b) { return lower(a) == b; }))
      return kPlanColumns + i;
  }
  return std::nullopt;
}

std::string& ExtraField(ReportRecord& r, Extra e) {
  switch (e) {
    case Extra::kDevice: return r.device;
    case Extra::kVersion: return r.version;
    case Extra::kTime: return r.time;
    default: return r.message;
  }
}

std::string Describe(const PortSettings& t) {
  return SettingsText(t, false);
}

}  // namespace

const char* OutcomeWord(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::kDone: return "done";
    case RowOutcome::kSkipped: return "skipped";
    case RowOutcome::kFailed: break;
  }
  return "failed";
}

std::string WriteReport(const std::vector<ReportRecord>& records, char separator) {
  std::string text(utf8_bom);
  text += CsvLine({kReportTitle, std::to_string(kReportFormat)}, separator);
  std::vector<std::string> fields;
  for (std::size_t i = 0; i < kColumns; ++i) fields.push_back(ColumnName(i));
  text += CsvLine(fields, separator);
  for (const ReportRecord& r : records) {
    fields.assign(1, r.tag);
    for (std::size_t i = 1; i < kPlanColumns; ++i)
      fields.push_back(PlanValueText(static_cast<PlanColumn>(i), r.target));
    fields.insert(fields.end(), {r.device, r.version, r.time, OutcomeWord(r.outcome), r.message});
    text += CsvLine(fields, separator);
  }
  return text;
}

std::vector<CsvFinding> ReadReport(std::string_view bytes, std::vector<ReportRecord>& records) {
  records.clear();
  if (bytes.empty()) return {};
  CsvTable table;
  std::string error;
  if (!ReadCsv(bytes, table, error)) return {{0, error}};
  const std::string expected = Format("%s%c%d", kReportTitle, table.separator, kReportFormat);
  const bool titled = !table.records.empty() && table.records[0].row == 1 &&
                      table.records[0].fields.size() >= 2 &&
                      table.records[0].fields[0] == kReportTitle &&
                      table.records[0].fields[1] == std::to_string(kReportFormat);
  if (!titled)
    return {{1, Format("это не отчёт kv4t commission: первая строка отчёта — \"%s\"",
                       expected.c_str())}};
  if (table.records.size() < 2) return {{2, "нет заголовка отчёта"}};

  std::vector<CsvFinding> findings;
  const CsvRecord& header = table.records[1];
  std::optional<std::size_t> seen[kColumns];
  for (std::size_t at = 0; at < header.fields.size(); ++at) {
    const std::string& name = header.fields[at];
    const std::optional<std::size_t> column = ColumnOf(name);
    if (!column && !name.empty())
      findings.push_back({header.row, Format("неизвестный столбец \"%s\"", name.c_str())});
    else if (column && seen[*column])
      findings.push_back({header.row, Format("столбец %s повторяется", name.c_str())});
    else if (column)
      seen[*column] = at;
  }
  for (std::size_t i = 0; i < kColumns; ++i)
    if (!seen[i]) findings.push_back({header.row, "нет столбца " + ColumnName(i)});
  if (!findings.empty()) return findings;

  std::map<std::string, int> tag_rows;
  for (std::size_t r = 2; r < table.records.size(); ++r) {
    const CsvRecord& record = table.records[r];
    const std::size_t before = findings.size();
    ReportRecord out;
    out.row = record.row;
    LineArgs values;
    for (std::size_t i = 0; i < kColumns; ++i) {
      const std::size_t at = *seen[i];
      const std::string text = at < record.fields.size() ? record.fields[at] : std::string();
      if (i == static_cast<std::size_t>(PlanColumn::kTag)) {
        out.tag = text;
        if (const std::string why = CheckTag(text); !why.empty())
          findings.push_back({record.row, why});
      } else if (i < kPlanColumns) {
        const auto column = static_cast<PlanColumn>(i);
        if (text.empty())
          findings.push_back({record.row, "нет значения " + ColumnName(i)});
        else if (!ParsePlanValue(column, text, values, error))
          findings.push_back({record.row, error});
      } else if (static_cast<Extra>(i - kPlanColumns) == Extra::kOutcome) {
        bool known = false;
        for (RowOutcome o : kOutcomes)
          if (text == OutcomeWord(o)) {
            out.outcome = o;
            known = true;
          }
        if (!known)
          findings.push_back({record.row, Format("outcome: \"%s\" — допустимо done, failed, skipped",
                                                 text.c_str())});
      } else {
        ExtraField(out, static_cast<Extra>(i - kPlanColumns)) = text;
      }
    }
    for (std::size_t i = 0; i < record.fields.size(); ++i)
      if (i >= header.fields.size() && !record.fields[i].empty()) {
        findings.push_back({record.row, "значений больше, чем столбцов в заголовке"});
        break;
      }
    if (findings.size() != before) continue;
    // Every value is given: nothing of the factory settings is left.
    out.target = FactoryTarget();
    ApplyPlanValues(values, out.target);
    if (const auto [it, added] = tag_rows.emplace(out.tag, record.row); !added) {
      findings.push_back({record.row, Format("метка \"%s\" уже есть в строке %d", out.tag.c_str(),
                                             it->second)});
      continue;
    }
    records.push_back(std::move(out));
  }
  if (!findings.empty()) records.clear();
  return findings;
}

std::vector<CsvFinding> MatchReport(const Plan& plan, const std::vector<ReportRecord>& records) {
  std::map<std::string, const PlanRow*> rows;
  for (const PlanRow& row : plan.rows) rows.emplace(row.tag, &row);
  std::vector<CsvFinding> findings;
  for (const ReportRecord& r : records) {
    const int report_row = r.row;
    const auto it = rows.find(r.tag);
    if (it == rows.end())
      findings.push_back({report_row, Format("метки \"%s\" в плане нет", r.tag.c_str())});
    else if (!SameTarget(it->second->target, r.target))
      findings.push_back(
          {report_row, Format("метка \"%s\": в отчёте %s, в плане (строка %d) %s", r.tag.c_str(),
                              Describe(r.target).c_str(), it->second->row,
                              Describe(it->second->target).c_str())});
  }
  return findings;
}
