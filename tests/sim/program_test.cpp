// The kv4t-sim program and the tests/with-sim script, run as other tests run them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/sim/sim_line.h"

namespace {

struct TempDir {
  TempDir() {
    char t[] = "/tmp/kv4t-sim-prog.XXXXXX";
    path = mkdtemp(t) ? t : "";
  }
  ~TempDir() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
  std::string path;
};

TEST(SimProgram, PrintsThePtyFirstLinksItAndCleansUpOnSigterm) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string link = dir.path + "/com5";
  const std::string state = dir.path + "/state.json";
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(KV4T_SIM_PROGRAM_PATH, "kv4t-sim", "--quiet", "--link", link.c_str(), "--state", state.c_str(), "--address",
          "5", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* f = fdopen(out[0], "r");
  char line[256] = {};
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  std::string pty(line);
  ASSERT_FALSE(pty.empty());
  ASSERT_EQ(pty.back(), '\n');
  pty.pop_back();
  EXPECT_EQ(pty.rfind("/dev/pts/", 0), 0u) << pty;

  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(pty, target);
  {
    // Through the link, read "dev" at address 5.
    SimLine l(link);
    ASSERT_TRUE(l.ok());
    ASSERT_TRUE(l.set(9600));
    ASSERT_TRUE(l.write_text("#GLHGTMOHVGIG\r"));
    EXPECT_FALSE(l.read_ravik().empty());
  }
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is removed at exit";
  EXPECT_EQ(stat(state.c_str(), &st), 0) << "the state file stays";
  fclose(f);
}

TEST(SimProgram, RejectsBadOptions) {
  const std::string cmd = std::string(KV4T_SIM_PROGRAM_PATH) + " --baud 1234 >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

TEST(WithSim, RunsTheCommandAgainstTheSimulatorAndReturnsItsStatus) {
  TempDir dir;
  const std::string script = "KV4T_SIM_PROGRAM='" KV4T_SIM_PROGRAM_PATH "' '" KV4T_WITH_SIM_PATH
                             "' --quiet --link '" + dir.path + "/com3' -- sh -c '"
                             "test -c \"$KV4T_SIM_PTY\" && test -L " + dir.path + "/com3 && "
                             "grep -q \"\\\"address\\\": 16\" \"$KV4T_SIM_STATE\" && exit 7; exit 1'";
  const int status = std::system(script.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  struct stat st {};
  EXPECT_NE(lstat((dir.path + "/com3").c_str(), &st), 0);
}

}  // namespace
