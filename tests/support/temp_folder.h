// A folder of a test's own in the system's temporary folder, removed with all it
// holds when the test ends.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

struct TempFolder {
  explicit TempFolder(const std::string& prefix)
      : path(std::filesystem::temp_directory_path() /
             (prefix +
              std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path path;
};
