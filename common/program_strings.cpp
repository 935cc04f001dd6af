#include "common/program_strings.h"

namespace {

struct Entry {
  int id;
  const char* text;
};

constexpr Entry kStrings[] = {
#define KV4T_STRING(id, text) {id, text},
#include "common/string_table.inc"
#undef KV4T_STRING
};

}  // namespace

const char* ProgramTextUtf8(int id) {
  for (const Entry& e : kStrings)
    if (e.id == id) return e.text;
  return nullptr;
}
