#include "cli/console.h"

#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace {

volatile sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

constexpr const char* kById = "/dev/serial/by-id";

}  // namespace

void console_init() {}

bool console_stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

bool console_stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }

bool console_read_line(std::string& line) {
  line.clear();
  for (;;) {
    if (interrupted) return false;
    // Byte by byte from the descriptor: stdio would keep what follows the line, and
    // a read broken off by Ctrl-C (EINTR, the handler has no SA_RESTART) must end
    // the prompt rather than be retried.
    char c = 0;
    const ssize_t r = read(STDIN_FILENO, &c, 1);
    if (r == 1) {
      if (c == '\n') return true;
      if (c != '\r') line.push_back(c);
    } else if (r == 0 || errno != EINTR) {
      return false;
    }
  }
}

void console_catch_interrupt() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait in poll() returns early and the command sees the request
  // sooner. SA_RESETHAND: the second Ctrl-C ends the program.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool console_interrupted() { return interrupted != 0; }

std::vector<std::string> port_aliases(const std::string& device_path) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  const fs::path device = fs::weakly_canonical(device_path, error);
  if (error) return names;
  for (fs::directory_iterator it(kById, error), end; !error && it != end; it.increment(error)) {
    std::error_code inner;
    if (fs::weakly_canonical(it->path(), inner) == device && !inner)
      names.push_back(it->path().filename().string());
  }
  return names;
}

std::string resolve_port_alias(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return name;
  const std::filesystem::path link = std::filesystem::path(kById) / name;
  std::error_code error;
  return std::filesystem::exists(link, error) ? link.string() : name;
}
