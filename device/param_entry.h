// One row of a parameter list that the device operations exchange with the
// converter: a RAVIK parameter name and the setting it is written from or read
// into. A row is made only through Raw, Coded or Text, so its kind, its code table
// and its target always agree: a text row never points at a number and a number
// row never at a text. A list ends with a row whose name is empty (End).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/code_tables.h"

class ParamEntry {
 public:
  enum class Kind {
    kRaw,    // an integer sent as it is
    kCoded,  // an integer passed through a code table
    kText,   // a text, at most 8 characters
  };

  static constexpr ParamEntry Raw(std::string_view name, int32_t* target) {
    return ParamEntry(name, Kind::kRaw, kTableRs485Baud, target, nullptr);
  }
  static constexpr ParamEntry Coded(std::string_view name, CodeTable table, int32_t* target) {
    return ParamEntry(name, Kind::kCoded, table, target, nullptr);
  }
  static constexpr ParamEntry Text(std::string_view name, std::string* target) {
    return ParamEntry(name, Kind::kText, kTableRs485Baud, nullptr, target);
  }
  static constexpr ParamEntry End() { return Raw({}, nullptr); }

  constexpr std::string_view name() const { return name_; }
  constexpr Kind kind() const { return kind_; }
  // The code table of a coded row.
  constexpr CodeTable table() const { return table_; }
  // The setting of a raw or coded row (null for a text row).
  constexpr int32_t* number() const { return number_; }
  // The setting of a text row (null for the others).
  constexpr std::string* text() const { return text_; }

 private:
  constexpr ParamEntry(std::string_view name, Kind kind, CodeTable table, int32_t* number,
                       std::string* text)
      : name_(name), kind_(kind), table_(table), number_(number), text_(text) {}

  std::string_view name_;
  Kind kind_;
  CodeTable table_;
  int32_t* number_;
  std::string* text_;
};
