#include "cli/commission_plan.h"

#include <map>

#include "cli/checks.h"
#include "cli/setting_words.h"
#include "common/code_pages.h"
#include "common/setting_values.h"
#include "device/settings_rules.h"

namespace {

namespace sr = settings_rules;

// The converter's answer delay as it leaves the factory, milliseconds.
constexpr int32_t kFactoryAnswerDelayMs = 2;
// The Modbus units a device may have: 0 is the broadcast, 248 and up are reserved.
constexpr int32_t kLeastModbusUnit = 1;
constexpr int32_t kMostModbusUnit = 247;

const char* NameOf(PlanColumn column) { return kPlanColumnNames[static_cast<int>(column)]; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A decimal number as a spreadsheet writes one. Leading zeros are refused: kv4t's
// command line reads "010" as the octal 8, a spreadsheet means 10.
bool ParseNumber(std::string_view text, int32_t& value, std::string& why) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative || (!digits.empty() && digits.front() == '+')) digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    why = "не число";
    return false;
  }
  if (digits.size() > 1 && digits.front() == '0') {
    why = "число с ведущим нулём: запишите его без нулей впереди";
    return false;
  }
  if (digits.size() > 9) {
    why = "слишком большое число";
    return false;
  }
  int32_t v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  value = negative ? -v : v;
  return true;
}

// The same address space for both address lengths: an 8-bit request to A and an
// 11-bit request to 8 * A carry the same header bytes.
int32_t AddressKey(const PortSettings& s) { return s.alen == 11 ? s.address : s.address * 8; }

std::string AddressText(const PortSettings& s) {
  return Format("%d (%d бит)", s.address, s.alen == 11 ? 11 : 8);
}

bool SameLine(const PortSettings& a, const PortSettings& b) {
  return a.baud == b.baud && a.bytesize == b.bytesize && a.parity == b.parity &&
         a.stopbits == b.stopbits;
}

bool InAddressRange(const PortSettings& s) {
  return !sr::Check(sr::Rule::kAddressLengthValue, s) && !sr::Check(sr::Rule::kAddressRange, s);
}

// What a plan refuses besides the converter's rules, for one row's settings.
void CheckBeyondRules(const PortSettings& t, int row, std::vector<CsvFinding>& findings) {
  const bool modbus = t.proto != ToValue(Protocol::kRavik);
  if (modbus && t.alen == 8 && InAddressRange(t)) {
    if (t.address == 0)
      findings.push_back({row, "адрес 0 в Modbus широковещательный, на запросы по нему "
                               "преобразователь не отвечает; адрес устройства Modbus — от 1 до 247"});
    else if (t.address < kLeastModbusUnit || t.address > kMostModbusUnit)
      findings.push_back({row, Format("адрес %d: адрес устройства Modbus — от %d до %d", t.address,
                                      kLeastModbusUnit, kMostModbusUnit)});
  }
  const PortSettings factory = FactoryTarget();
  if (InAddressRange(t) && SameLine(t, factory) && AddressKey(t) == AddressKey(factory))
    findings.push_back({row, Format("новые настройки совпадают с заводскими (%s, адрес %d): такой "
                                    "преобразователь не отличить от следующего нового",
                                    DescribePortSettings(factory).c_str(), factory.address)});
}

}  // namespace

void ApplyPlanValues(LineArgs values, PortSettings& target) {
  const std::optional<int> baud = values.baud;
  values.baud.reset();
  std::string unused;
  values.ApplyTo(target, unused);
  if (baud) target.baud = *baud;
}

PortSettings FactoryTarget() {
  PortSettings target = sr::ConverterFactorySettings();
  target.proto = ToValue(Protocol::kRavik);
  target.delay = kFactoryAnswerDelayMs;
  return target;
}

PortSettings PlanDefaults(const LineArgs& defaults) {
  PortSettings target = FactoryTarget();
  ApplyPlanValues(defaults, target);
  return target;
}

std::optional<PlanColumn> PlanColumnOf(std::string_view name) {
  std::string lower;
  for (char c : name)
    if (c != ' ' && c != '\t') lower.push_back(Lower(c));
  for (std::size_t i = 0; i < kPlanColumns; ++i)
    if (lower == kPlanColumnNames[i]) return static_cast<PlanColumn>(i);
  return std::nullopt;
}

bool ParsePlanValue(PlanColumn column, std::string_view text, LineArgs& values,
                    std::string& error) {
  const SettingWords* words = column == PlanColumn::kParity     ? &kParityWords
                              : column == PlanColumn::kStop     ? &kStopBitWords
                              : column == PlanColumn::kProtocol ? &kProtocolWords
                                                                : nullptr;
  const std::string quoted = Format("%s: \"%s\"", NameOf(column), std::string(text).c_str());
  if (words) {
    const std::optional<int> value = words->ValueOf(text);
    if (!value) {
      error = Format("%s — допустимо %s", quoted.c_str(), words->Choices(", ").c_str());
      return false;
    }
    (column == PlanColumn::kParity ? values.parity
     : column == PlanColumn::kStop ? values.stop
                                   : values.proto) = *value;
    return true;
  }
  int32_t number = 0;
  std::string why;
  if (!ParseNumber(text, number, why)) {
    error = quoted + " — " + why;
    return false;
  }
  switch (column) {
    case PlanColumn::kAddress: values.address = number; break;
    case PlanColumn::kAlen: values.alen = number; break;
    case PlanColumn::kBaud: values.baud = number; break;
    case PlanColumn::kBits: values.bits = number; break;
    case PlanColumn::kDelay: values.delay = number; break;
    default: return false;
  }
  return true;
}

std::string PlanValueText(PlanColumn column, const PortSettings& t) {
  switch (column) {
    case PlanColumn::kAddress: return std::to_string(t.address);
    case PlanColumn::kAlen: return std::to_string(t.alen);
    case PlanColumn::kBaud: return std::to_string(t.baud);
    case PlanColumn::kBits: return std::to_string(t.bytesize);
    case PlanColumn::kParity: return kParityWords.WordOf(t.parity);
    case PlanColumn::kStop: return kStopBitWords.WordOf(t.stopbits);
    case PlanColumn::kProtocol: return kProtocolWords.WordOf(t.proto);
    case PlanColumn::kDelay: return std::to_string(t.delay);
    case PlanColumn::kTag: break;
  }
  return {};
}

std::string CheckTag(std::string_view tag) {
  if (tag.empty()) return "нет метки (tag)";
  std::size_t chars = 0;
  for (std::size_t i = 0; i < tag.size(); ++chars) {
    const char32_t c = next_utf8(tag, i);
    if (c < 0x20 || c == 0x7F) return "в метке управляющий символ";
  }
  if (chars > kMaxTagChars)
    return Format("метка длиннее %zu символов", kMaxTagChars);
  return {};
}

bool SameTarget(const PortSettings& a, const PortSettings& b) {
  return SameLine(a, b) && a.address == b.address && a.alen == b.alen && a.proto == b.proto &&
         a.delay == b.delay;
}

std::vector<CsvFinding> ReadPlan(std::string_view bytes, const LineArgs& defaults, Plan& plan) {
  plan = Plan{};
  std::vector<CsvFinding> findings;
  CsvTable table;
  std::string error;
  if (!ReadCsv(bytes, table, error)) return {{0, error}};
  plan.separator = table.separator;
  if (table.records.empty()) return {{0, "план пуст: нет ни заголовка, ни строк"}};

  // The header: each column once, tag and address among them.
  const CsvRecord& header = table.records.front();
  std::vector<std::optional<PlanColumn>> columns;
  std::optional<std::size_t> seen[kPlanColumns];
  for (std::size_t i = 0; i < header.fields.size(); ++i) {
    const std::string& name = header.fields[i];
    std::optional<PlanColumn> column = PlanColumnOf(name);
    if (!column && !name.empty()) {
      std::string known;
      for (const char* n : kPlanColumnNames) known += (known.empty() ? "" : ", ") + std::string(n);
      findings.push_back({header.row, Format("неизвестный столбец \"%s\" (столбцы плана: %s)",
                                             name.c_str(), known.c_str())});
    } else if (column && seen[static_cast<int>(*column)]) {
      findings.push_back({header.row, Format("столбец %s повторяется", NameOf(*column))});
      column.reset();
    } else if (column) {
      seen[static_cast<int>(*column)] = i;
    }
    columns.push_back(column);
  }
  for (PlanColumn required : {PlanColumn::kTag, PlanColumn::kAddress})
    if (!seen[static_cast<int>(required)])
      findings.push_back({header.row, Format("нет столбца %s", NameOf(required))});
  if (!findings.empty()) return findings;
  if (table.records.size() == 1) return {{header.row, "в плане нет ни одной строки после заголовка"}};

  const PortSettings base = PlanDefaults(defaults);
  std::map<std::string, int> tag_rows;
  std::map<int32_t, std::size_t> address_rows;  // to the row in plan.rows
  for (std::size_t r = 1; r < table.records.size(); ++r) {
    const CsvRecord& record = table.records[r];
    const std::size_t before = findings.size();
    PlanRow row{record.row, {}, base};
    LineArgs values;
    bool has_address = false;
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
      const std::string& text = record.fields[i];
      if (i >= columns.size()) {
        if (!text.empty()) {
          findings.push_back({record.row, "значений больше, чем столбцов в заголовке"});
          break;
        }
        continue;
      }
      if (!columns[i] || text.empty()) continue;
      if (*columns[i] == PlanColumn::kTag) {
        row.tag = text;
        continue;
      }
      if (*columns[i] == PlanColumn::kAddress) has_address = true;
      if (!ParsePlanValue(*columns[i], text, values, error)) findings.push_back({record.row, error});
    }
    if (const std::string why = CheckTag(row.tag); !why.empty()) findings.push_back({record.row, why});
    if (!has_address) findings.push_back({record.row, "нет адреса (address)"});
    if (findings.size() != before) continue;  // the settings are not all known

    ApplyPlanValues(values, row.target);
    for (const std::string& text : Rs485Findings(row.target)) findings.push_back({record.row, text});
    CheckBeyondRules(row.target, record.row, findings);

    if (const auto [it, added] = tag_rows.emplace(row.tag, record.row); !added)
      findings.push_back({record.row, Format("метка \"%s\" уже есть в строке %d", row.tag.c_str(),
                                             it->second)});
    plan.rows.push_back(row);
    if (!InAddressRange(row.target)) continue;
    const auto [it, added] = address_rows.emplace(AddressKey(row.target), plan.rows.size() - 1);
    if (added) continue;
    const PlanRow& other = plan.rows[it->second];
    if (other.target.alen == row.target.alen)
      findings.push_back({record.row, Format("адрес %d уже есть в строке %d", row.target.address,
                                             other.row)});
    else
      findings.push_back(
          {record.row, Format("адрес %s отвечает на те же запросы, что адрес %s в строке %d",
                              AddressText(row.target).c_str(), AddressText(other.target).c_str(),
                              other.row)});
  }
  if (!findings.empty()) plan.rows.clear();
  return findings;
}
