// Saves killed part-way, again and again: the file is always one whole version,
// and the temporary files the killed saves leave behind are swept away by the next
// save once they are stale.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> TempFilesOf(const fs::path& target) {
  std::vector<fs::path> found;
  uint32_t pid = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(target.parent_path()))
    if (ParseTempFileName(target.filename(), entry.path().filename(), pid))
      found.push_back(entry.path());
  return found;
}

TEST(KilledSaves, LeaveAWholeFileAndTheirLeftoversAreSweptLater) {
  const TempFolder folder("kv4t-kill-");
  const fs::path& dir = folder.path;
  const fs::path target = dir / "device.kv4tcfg";
  // Large enough that a kill often lands in the middle of writing.
  const std::vector<uint8_t> versions[] = {std::vector<uint8_t>(256 * 1024, 'A'),
                                           std::vector<uint8_t>(256 * 1024, 'B')};
  ASSERT_TRUE(WriteFileReplacing(target, versions[0].data(), versions[0].size()));

  std::mt19937 rng(20240601);
  constexpr int kKills = 150;
  for (int i = 0; i < kKills; ++i) {
    const std::vector<uint8_t>& version = versions[i % 2];
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) WriteFileReplacing(target, version.data(), version.size());
    }
    ::usleep(static_cast<useconds_t>(rng() % 4000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::vector<uint8_t> now = ReadBytes(target);
    ASSERT_TRUE(now == versions[0] || now == versions[1]) << "after kill " << i;
  }

  // Their writers are gone; past the grace the next save removes every one.
  const std::vector<fs::path> left = TempFilesOf(target);
  std::cout << left.size() << " of " << kKills << " killed saves left a temporary file\n";
  for (const fs::path& temp : left)
    fs::last_write_time(temp, fs::file_time_type::clock::now() - std::chrono::hours(1));
  ASSERT_TRUE(WriteFileReplacing(target, versions[1].data(), versions[1].size()));
  EXPECT_TRUE(TempFilesOf(target).empty());
  EXPECT_EQ(ReadBytes(target), versions[1]);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

}  // namespace
