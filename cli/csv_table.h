// Tables as spreadsheets save them for kv4t (a commissioning plan, its report):
// values separated by ',' or by ';' (a Russian spreadsheet's list separator),
// fields in double quotes where they hold a separator, a quote or a line end, in
// UTF-8 with or without a byte-order mark, or in Windows-1251.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct CsvRecord {
  // The row as a spreadsheet numbers it: the first record is row 1, and blank rows
  // count (a quoted line end does not start a row).
  int row = 0;
  std::vector<std::string> fields;  // UTF-8, spaces around each trimmed
};

// What is wrong with a table, at its row (0: the file as a whole).
struct CsvFinding {
  int row = 0;
  std::string text;  // UTF-8
  friend bool operator==(const CsvFinding&, const CsvFinding&) = default;
};

struct CsvTable {
  char separator = ',';
  // Every record but the blank ones (no field holds anything).
  std::vector<CsvRecord> records;
};

// The text's encoding and separator are found from the bytes: a UTF-8 byte-order
// mark, or text that is valid UTF-8, is UTF-8, anything else Windows-1251; the
// separator is the first ',' or ';' outside quotes in the first record. False with
// the reason (UTF-8) for a text of UTF-16 or one whose quotes do not close.
bool ReadCsv(std::string_view bytes, CsvTable& table, std::string& error);

// One record as the reader takes it back, with a line end ("\r\n"); fields are
// quoted where they must be.
std::string CsvLine(const std::vector<std::string>& fields, char separator);
