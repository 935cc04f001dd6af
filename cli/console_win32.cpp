#include "cli/console.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI on_control(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // A second Ctrl-C is left to the default handler, which ends the program.
  if (interrupted.exchange(true)) return FALSE;
  return TRUE;
}

}  // namespace

void console_init() {
  // The texts are UTF-8; without this a Russian console shows them in its OEM page.
  SetConsoleOutputCP(CP_UTF8);
}

bool console_stderr_is_terminal() {
  DWORD mode = 0;
  // GetConsoleMode fails (returns zero) for a pipe or a file.
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void console_catch_interrupt() { SetConsoleCtrlHandler(on_control, TRUE); }

bool console_interrupted() { return interrupted; }

std::vector<std::string> port_aliases(const std::string&) { return {}; }

std::string resolve_port_alias(const std::string& name) { return name; }
