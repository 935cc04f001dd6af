// The temporary files of a replacing save: their names, which of them a later save
// removes (writer gone and not written for a while) and which it never touches
// (other names, a writer that may still be at work).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "settings_support.h"
#include "common/file_io.h"
#include "settings/converter_settings.h"
#include "settings/file_store.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// No process has this id: beyond the largest id Linux gives, and Windows gives only
// small multiples of 4.
constexpr uint32_t kNoSuchProcess = 0x7FFFFFFC;

struct NameCase {
  const char* name;
  bool ours;
  uint32_t pid;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class TempFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(TempFileName, OursOnlyInTheExactPattern) {
  uint32_t pid = 0;
  EXPECT_EQ(ParseTempFileName("device.kv4tcfg", GetParam().name, pid), GetParam().ours);
  if (GetParam().ours) {
    EXPECT_EQ(pid, GetParam().pid);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, TempFileName,
    ::testing::Values(NameCase{"device.kv4tcfg.kv4t-123-0.tmp", true, 123},
                      NameCase{"device.kv4tcfg.kv4t-4294967295-99.tmp", true, 4294967295u},
                      NameCase{"device.kv4tcfg.kv4t-0-1.tmp", false, 0},
                      NameCase{"device.kv4tcfg.kv4t-4294967296-1.tmp", false, 0},
                      NameCase{"device.kv4tcfg.kv4t-12-1.tmp.bak", false, 0},
                      NameCase{"device.kv4tcfg.kv4t-12-.tmp", false, 0},
                      NameCase{"device.kv4tcfg.kv4t--1.tmp", false, 0},
                      NameCase{"device.kv4tcfg.kv4t-+12-1.tmp", false, 0},
                      NameCase{"device.kv4tcfgx.kv4t-12-1.tmp", false, 0},
                      NameCase{"other.kv4tcfg.kv4t-12-1.tmp", false, 0},
                      NameCase{"device.kv4tcfg.a1B2c3", false, 0},
                      NameCase{"device.kv4tcfg", false, 0}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
      std::string label = std::to_string(info.index) + "_";
      for (const char* c = info.param.name; *c; ++c)
        label.push_back(std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
      return label;
    });

TEST(TempFileName, MadeAndReadBack) {
  const fs::path name(u8"настройки.cfg");
  const fs::path temp = TempFilePath(fs::path("folder") / name, 77, 5);
  EXPECT_EQ(temp.parent_path(), fs::path("folder"));
  uint32_t pid = 0;
  EXPECT_TRUE(ParseTempFileName(name, temp.filename(), pid));
  EXPECT_EQ(pid, 77u);
  EXPECT_NE(NextTempFilePath("x"), NextTempFilePath("x"));
}

class StaleTempFiles : public SettingsTest {
 protected:
  // A file last written `age` ago.
  fs::path Put(const fs::path& path, std::chrono::minutes age = std::chrono::minutes(0)) {
    std::ofstream(path) << "partial";
    fs::last_write_time(path, fs::file_time_type::clock::now() - age);
    return path;
  }
  fs::path PutTemp(uint32_t pid, uint32_t n, std::chrono::minutes age) {
    return Put(TempFilePath(target, pid, n), age);
  }

  TempFolder folder{"kv4t-temp-"};
  const fs::path& dir = folder.path;
  const fs::path target = dir / "device.kv4tcfg";
};

TEST_F(StaleTempFiles, OnlyThoseOfAGoneWriterAfterTheGrace) {
  using std::chrono::minutes;
  const fs::path stale = PutTemp(kNoSuchProcess, 1, minutes(60));
  const fs::path recent = PutTemp(kNoSuchProcess, 2, minutes(0));
  const fs::path mine = PutTemp(CurrentProcessId(), 3, minutes(0));
  // Not ours, however old: other names, another file's temporary file, a folder.
  const fs::path others[] = {
      Put(dir / "device.kv4tcfg.bak", minutes(60)),
      Put(dir / "device.kv4tcfg.a1B2c3", minutes(60)),
      Put(TempFilePath(dir / "other.kv4tcfg", kNoSuchProcess, 1), minutes(60)),
  };
  const fs::path folder = TempFilePath(target, kNoSuchProcess, 4);
  fs::create_directory(folder);

  EXPECT_EQ(RemoveStaleTempFiles(target), 1u);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(recent));
  // Without the grace, a gone writer's file goes at once; this process's stays.
  EXPECT_EQ(RemoveStaleTempFiles(target, std::chrono::seconds(0)), 1u);
  EXPECT_FALSE(fs::exists(recent));
  EXPECT_TRUE(fs::exists(mine));
  // Written before this process started: its id was another, ended, process's.
  fs::last_write_time(mine, fs::file_time_type::clock::now() - minutes(60 * 24 * 30));
  EXPECT_EQ(RemoveStaleTempFiles(target), 1u);
  EXPECT_FALSE(fs::exists(mine));

  for (const fs::path& other : others) EXPECT_TRUE(fs::exists(other)) << other;
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(StaleTempFiles, SavesSweepThemAway) {
  const fs::path staleFile = PutTemp(kNoSuchProcess, 1, std::chrono::minutes(60));
  ConverterSettings settings;
  ASSERT_EQ(settings.SaveConfigFile(target.string()), kConfigFileOk);
  EXPECT_FALSE(fs::exists(staleFile));

  const fs::path storeFile = dir / "registry.reg";
  const fs::path staleStore =
      Put(TempFilePath(storeFile, kNoSuchProcess, 1), std::chrono::minutes(60));
  FileStore fileStore(storeFile);
  ASSERT_TRUE(fileStore.WriteNumber(u"SOFTWARE\\RAVIK", u"n", 1));
  EXPECT_FALSE(fs::exists(staleStore));

  // Nothing but the two files remains.
  std::vector<fs::path> left;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir))
    left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<fs::path>{"device.kv4tcfg", "registry.reg"}));
}

}  // namespace
