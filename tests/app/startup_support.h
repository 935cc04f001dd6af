// Shared by the start-up tests: a run of the configurator from its command line to
// its exit in a folder of its own (the current directory, where relative file
// paths land), over a settings store in memory unless a test picks the platform's
// own, with a scripted window and the notices recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "catalogue/catalogue.h"
#include "settings/converter_settings.h"
#include "settings/file_store.h"
#include "settings/kv_store.h"
#include "settings/stored_values.h"
#include "tests/app/recording_notices.h"
#include "tests/app/scripted_window.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

// Where the converter object lies in the stored tree.
inline const std::string kDeviceLocation = std::string(kConfigLocation) + "\\configuration\\0";

// The fields a test compares, `changed` left out.
inline bool SameValues(PortSettings a, PortSettings b) {
  a.changed = b.changed = false;
  return a == b;
}

inline std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The converter object a configuration file holds; null when the file is missing
// or is not a configuration file.
inline std::unique_ptr<ConverterSettings> ReadConfigFile(const fs::path& p) {
  if (!fs::exists(p)) return nullptr;
  std::vector<uint8_t> data = ReadBytes(p);
  auto settings = std::make_unique<ConverterSettings>();
  if (settings->LoadConfigData(data.data(), data.size()) != kConfigFileOk) return nullptr;
  return settings;
}

// Names parameterised cases by their `label`.
struct ByLabel {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.label;
  }
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetKvStore(&store);
    previous = fs::current_path();
    fs::current_path(dir);
  }

  void TearDown() override {
    fs::current_path(previous);
    SetKvStore(nullptr);
    RegisterObjectFactory(nullptr, nullptr);
    ClearCatalogue();
  }

  // One run with the window as scripted; its exit code.
  template <typename App = CCfgApp>
  int Start(const std::wstring& commandLine) {
    app = std::make_unique<App>(window);
    return app->Run(commandLine);
  }

  // One run in which the user changes the RS-485 page to 19200 baud and address 20
  // and applies it; whether the converter took it.
  bool StartWritingRs485(const std::wstring& commandLine) {
    bool applied = false;
    window.steps = {ScriptedWindow::EditRs485([](PortSettings& s) {
                      s.baud = 19200;
                      s.address = 20;
                    }),
                    ScriptedWindow::ApplyRs485(&applied)};
    EXPECT_EQ(Start(commandLine), 0);
    EXPECT_TRUE(notices.boxes.empty());
    return applied;
  }

  std::string StoredText(const char* name, const std::string& location = kDeviceLocation) {
    std::string value;
    EXPECT_TRUE(ReadStoredText(location, name, value)) << location << " " << name;
    return value;
  }
  int32_t StoredInt(const char* name, const std::string& location = kDeviceLocation) {
    int32_t value = -12345;
    EXPECT_TRUE(ReadStoredInt(location, name, value)) << location << " " << name;
    return value;
  }

  TempFolder folder{"kv4t-app-"};
  const fs::path& dir = folder.path;
  fs::path previous;
  FileStore store;  // in memory
  ScopedNotices scoped;
  RecordingNotices& notices = scoped.notices;
  ScriptedWindow window;
  std::unique_ptr<CCfgApp> app;
};
