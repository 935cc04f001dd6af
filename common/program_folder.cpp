#include "common/program_path.h"

#include <system_error>

std::filesystem::path ProgramFolder() {
  const std::filesystem::path program = ProgramPath();
  if (program.has_parent_path()) return program.parent_path();
  std::error_code ec;
  std::filesystem::path current = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : current;
}
