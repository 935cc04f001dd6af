// The program's string table for code that runs without the window system's
// resources: the same texts, by the same identifiers, as the resource script's
// STRINGTABLE (both are made from common/string_table.inc).
#pragma once

#include <string>

#include "common/resource_ids.h"

namespace program_strings {

struct Entry {
  int id;
  const char* text;
};

inline constexpr Entry kStrings[] = {
#define KV4T_STRING(id, text) {id, text},
#include "common/string_table.inc"
#undef KV4T_STRING
};

}  // namespace program_strings

// The text of a string identifier as UTF-8 source text, or nullptr when the table
// has no such string. Usable in constant expressions, so that other layers can
// name a text of the table by its identifier instead of copying it.
constexpr const char* ProgramTextUtf8(int id) {
  for (const program_strings::Entry& e : program_strings::kStrings)
    if (e.id == id) return e.text;
  return nullptr;
}

// The text of a string identifier as program text (Windows-1251), as the windows
// show it; empty when the table has no such string.
std::string ProgramText(int id);
