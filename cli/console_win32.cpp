#include "cli/console.h"

#include <windows.h>

#include <atomic>
#include <iostream>

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

bool console_stdin_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool console_read_line(std::string& line) {
  line.clear();
  if (interrupted) return false;
  // A console read broken off by Ctrl-C ends with nothing read, as at the end of
  // the input. The handler runs on a thread of its own and may set the flag a
  // moment later: the command looks at it again before it writes anything.
  if (!std::getline(std::cin, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return !interrupted;
}

void console_catch_interrupt() { SetConsoleCtrlHandler(on_control, TRUE); }

bool console_interrupted() { return interrupted; }

std::vector<std::string> port_aliases(const std::string&) { return {}; }

std::string resolve_port_alias(const std::string& name) { return name; }
