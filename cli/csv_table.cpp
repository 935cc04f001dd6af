#include "cli/csv_table.h"

#include "common/code_pages.h"
#include "common/text_format.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// The separator of the first record: the first ',' or ';' outside quotes.
char FindSeparator(std::string_view text) {
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ',' || c == ';') return c;
    if (IsLineEnd(c)) break;
  }
  return ',';
}

}  // namespace

bool ReadCsv(std::string_view bytes, CsvTable& table, std::string& error) {
  table = CsvTable{};
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    error = "текст в UTF-16: сохраните таблицу как CSV в UTF-8 или Windows-1251";
    return false;
  }
  std::string text;
  if (bytes.starts_with(utf8_bom))
    text = bytes.substr(utf8_bom.size());
  else if (is_valid_utf8(bytes))
    text = bytes;
  else
    text = Cp1251ToUtf8(bytes);

  const char separator = FindSeparator(text);
  table.separator = separator;
  CsvRecord record{1, {}};
  std::string field;
  bool field_quoted = false;  // the field was quoted: its spaces are its own
  bool after_quote = false;   // its closing quote has been read
  bool field_blank = true;    // nothing but spaces in it so far
  auto end_field = [&] {
    record.fields.push_back(field_quoted ? field : Trimmed(field));
    field.clear();
    field_quoted = after_quote = false;
    field_blank = true;
  };
  auto end_record = [&] {
    end_field();
    bool blank = true;
    for (const std::string& f : record.fields) blank = blank && f.empty();
    if (!blank) table.records.push_back(std::move(record));
    record = CsvRecord{record.row + 1, {}};
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && !field_quoted && field_blank) {
      // A quoted field: up to the quote that is not doubled.
      const int started = record.row;
      field.clear();
      field_quoted = true;
      for (++i;; ++i) {
        if (i >= text.size()) {
          error = Format("строка %d: кавычка не закрыта", started);
          return false;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.push_back('"');
            ++i;
            continue;
          }
          break;
        }
        field.push_back(text[i]);
      }
      after_quote = true;
      continue;
    }
    if (c == separator) {
      end_field();
    } else if (IsLineEnd(c)) {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      end_record();
    } else if (after_quote) {
      if (!IsBlank(c)) {
        error = Format("строка %d: после закрывающей кавычки поля нет разделителя", record.row);
        return false;
      }
    } else {
      field.push_back(c);
      field_blank = field_blank && IsBlank(c);
    }
  }
  // The last record, unless the text ended with its line end.
  if (!text.empty() && !IsLineEnd(text.back())) end_record();
  return true;
}

std::string CsvLine(const std::vector<std::string>& fields, char separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line.push_back(separator);
    const std::string& f = fields[i];
    const bool quote = f.find_first_of(std::string("\"\r\n") + separator) != std::string::npos ||
                       (!f.empty() && (IsBlank(f.front()) || IsBlank(f.back())));
    if (!quote) {
      line += f;
      continue;
    }
    line.push_back('"');
    for (char c : f) {
      if (c == '"') line.push_back('"');
      line.push_back(c);
    }
    line.push_back('"');
  }
  return line + "\r\n";
}
