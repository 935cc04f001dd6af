// A commissioning plan: one row per converter, a tag naming it and the RS-485
// settings it is to get. Read from a table (cli/csv_table.h) with a header of fixed
// column names, of which only tag and address are required; values are spelled as
// on kv4t's command line ("rs485 write"). What a row leaves out comes from the
// defaults given on the command line, else from the factory settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/csv_table.h"
#include "cli/tool.h"

enum class PlanColumn { kTag, kAddress, kAlen, kBaud, kBits, kParity, kStop, kProtocol, kDelay };
inline constexpr const char* kPlanColumnNames[] = {"tag",  "address", "alen",     "baud", "bits",
                                                   "parity", "stop",  "protocol", "delay"};
inline constexpr std::size_t kPlanColumns = std::size(kPlanColumnNames);

// A plan or report larger than this is refused unread (a network has at most
// 2048 addresses).
inline constexpr std::size_t kMaxPlanBytes = 1 << 20;
// A tag's length, in characters.
inline constexpr std::size_t kMaxTagChars = 64;

struct PlanRow {
  int row = 0;       // the spreadsheet's row number
  std::string tag;   // UTF-8
  // Line settings, address, address length, protocol and answer delay.
  PortSettings target;
};

struct Plan {
  char separator = ',';
  std::vector<PlanRow> rows;
};

// What the converter leaves the factory with, for a row's settings the plan and the
// command line leave out: 9600 8-n-1, address 16 (8 bits), RAVIK, answer delay 2 ms.
PortSettings FactoryTarget();
// The factory settings with the defaults given on the command line over them.
PortSettings PlanDefaults(const LineArgs& defaults);

// The plan read and checked before anything is sent, with the converter's rules
// (the RS-485 page's texts) and with what a plan refuses besides them: a setting
// the page would only warn about or correct, a Modbus unit outside 1..247, an
// address another row has (also one of the other length that answers the same
// requests), the factory settings as a target, a tag used twice. Every finding
// with its row; none when the plan may be carried out.
std::vector<CsvFinding> ReadPlan(std::string_view bytes, const LineArgs& defaults, Plan& plan);

// The column a header name stands for (case and surrounding spaces ignored).
std::optional<PlanColumn> PlanColumnOf(std::string_view name);
// One settings column's value (not tag) into values; false with the reason, which
// names the column.
bool ParsePlanValue(PlanColumn column, std::string_view text, LineArgs& values,
                    std::string& error);
// The values into a target, as rs485 write takes its options, but without its
// check of the rate: that is one of the row's rules, whose texts come together.
void ApplyPlanValues(LineArgs values, PortSettings& target);
// A settings column's value as the plan spells it, for the report.
std::string PlanValueText(PlanColumn column, const PortSettings& target);
// The tag as a plan may hold it: the reason when it may not.
std::string CheckTag(std::string_view tag);
// Whether two targets are the same settings (those a plan holds).
bool SameTarget(const PortSettings& a, const PortSettings& b);
