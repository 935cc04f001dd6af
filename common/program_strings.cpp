#include "common/program_strings.h"

#include "common/cp1251.h"

std::string ProgramText(int id) {
  const char* utf8 = ProgramTextUtf8(id);
  return utf8 ? Utf8ToCp1251(utf8) : std::string();
}
