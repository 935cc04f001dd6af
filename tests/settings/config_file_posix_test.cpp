// POSIX-only checks: a save that fails part-way through writing (the file size
// limit of the process stands in for a full disk), and where the settings store
// lives by default.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "settings_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// Runs `body` in a child process; its exit code.
template <typename F>
int InChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

class PosixFileTest : public SettingsTest {
protected:
  void SetUp() override {
    SettingsTest::SetUp();
    dir = fs::temp_directory_path() /
          ("kv4t-posix-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
    SettingsTest::TearDown();
  }
  fs::path dir;
};

TEST_F(PosixFileTest, SaveFailingPartWayKeepsTheOldFile) {
  fs::path path = dir / "device.cfg";
  ConverterSettings d;
  d.name = "old";
  ASSERT_EQ(d.SaveConfigFile(path.string()), 0);
  std::vector<char> old = ReadBytes(path);
  ASSERT_GT(old.size(), 100u);

  int code = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};  // writes stop after 64 bytes
    setrlimit(RLIMIT_FSIZE, &limit);
    ConverterSettings big;
    big.description = std::string(500, 'x');
    return big.SaveConfigFile(path.string()) == 200 ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);  // no temporary file left
}

TEST_F(PosixFileTest, SavedFileKeepsItsMode) {
  fs::path path = dir / "device.cfg";
  ConverterSettings d;
  ASSERT_EQ(d.SaveConfigFile(path.string()), 0);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(d.SaveConfigFile(path.string()), 0);
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(PosixFileTest, SaveThroughASymbolicLinkReplacesTheFileItNames) {
  fs::create_directory(dir / "real");
  fs::path real = dir / "real" / "device.cfg";
  fs::path link = dir / "device.cfg";
  ConverterSettings d;
  ASSERT_EQ(d.SaveConfigFile(real.string()), 0);
  fs::create_symlink(real, link);
  d.name = "renamed";
  ASSERT_EQ(d.SaveConfigFile(link.string()), 0);
  EXPECT_TRUE(fs::is_symlink(link));
  ConverterSettings back;
  ASSERT_EQ(back.LoadConfigFile(real.string()), 0);
  EXPECT_EQ(back.name, "renamed");
}

// A named pipe where a description file, the store file or a configuration file
// is expected: refused at once, never waited on for a writer.
TEST_F(PosixFileTest, NamedPipesAreNeverWaitedOn) {
  ASSERT_EQ(mkfifo((dir / "pipe.xml").c_str(), 0600), 0);
  int code = InChild([&] {
    alarm(20);
    InstrumentCatalogue c;
    c.LoadFolder(dir);
    if (!c.empty()) return 1;
    FileStore store(dir / "pipe.xml");
    std::u16string text;
    if (store.ReadText(u"A", u"x", text) || !store.Unreadable()) return 2;
    ConverterSettings d;
    if (d.LoadConfigFile((dir / "pipe.xml").string()) != 0) return 3;
    return 0;
  });
  EXPECT_EQ(code, 0);
}

TEST_F(PosixFileTest, DefaultStoreLocation) {
  fs::path named = dir / "named.reg";
  int code = InChild([&] {
    setenv("KV4T_STORE_FILE", named.c_str(), 1);
    DefaultKvStore().WriteNumber(u"A", u"x", 5);
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(fs::exists(named));

  code = InChild([&] {
    unsetenv("KV4T_STORE_FILE");
    setenv("HOME", dir.c_str(), 1);
    DefaultKvStore().WriteNumber(u"A", u"x", 5);
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(fs::exists(dir / ".config" / "kv4t" / "registry.reg"));
}

}  // namespace
