// Runs the kv4t program as a script would: arguments in, exit code, standard
// output and standard error out; optionally interrupted with SIGINT once a
// condition holds.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

struct Kv4tRun {
  int code = -1;  // exit code; 128 + n for a program ended by signal n
  std::string out;
  std::string err;
  double seconds = 0;
};

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// interrupt_when: polled with the program's process id every 5 ms while it runs;
// when it returns true the program gets one SIGINT.
inline Kv4tRun RunKv4t(const std::vector<std::string>& args,
                       const std::function<bool(pid_t)>& interrupt_when = {}) {
  const auto folder = std::filesystem::temp_directory_path();
  const std::string stem = "kv4t-run-" + std::to_string(getpid());
  const auto out_path = folder / (stem + ".out");
  const auto err_path = folder / (stem + ".err");
  std::vector<std::string> argv_text = {KV4T_PROGRAM};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Kv4tRun run;
  int status = 0;
  bool sent = false;
  for (;;) {
    const pid_t done = waitpid(pid, &status, interrupt_when && !sent ? WNOHANG : 0);
    if (done == pid) break;
    if (interrupt_when && !sent && interrupt_when(pid)) {
      kill(pid, SIGINT);
      sent = true;
    }
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadText(out_path);
  run.err = ReadText(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return run;
}
