// The start-up on Windows: a first start leaves its tree in the real registry
// (read back through the Reg API), and KV4T_Cfg.exe itself, with Pargo.dll bound
// at load, runs the start-up from its own command line.
#include <windows.h>

#include <string>

#include "tests/app/registry_support.h"

namespace {

class StartupRegistry : public RegistryStartupTest {
 protected:
  void ExpectDefaultTree() {
    EXPECT_EQ(RegNumber(L"SOFTWARE\\RAVIK\\KV4T-Config\\configuration", L"chCnt"), 1u);
    EXPECT_EQ(RegText(kDeviceKey, L"type"), L"kv4t_device");
    EXPECT_EQ(RegText(kDeviceKey, L"port"), L"COM1");
    EXPECT_EQ(RegNumber(kDeviceKey, L"baud"), 9600u);
    EXPECT_EQ(RegNumber(kDeviceKey, L"kv8_address"), 16u);
  }

  // KV4T_Cfg.exe from the test's own folder with the given arguments; its exit code.
  DWORD RunProgram(const std::wstring& arguments) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_GT(length, 0u);
    const std::wstring program =
        (fs::path(std::wstring(self, length)).parent_path() / L"KV4T_Cfg.exe").wstring();
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      ADD_FAILURE() << "cannot start KV4T_Cfg.exe: " << GetLastError();
      return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
  }
};

TEST_F(StartupRegistry, FirstStartLeavesTheNewTree) {
  EXPECT_EQ(Start(L"/port:3"), 0);
  EXPECT_EQ(window.seen.link.port, "COM3");
  ExpectDefaultTree();
}

TEST_F(StartupRegistry, TheProgramRunsTheStartUp) {
  const fs::path file = dir / L"Настройки КВ4Т.kv4tcfg";
  EXPECT_EQ(RunProgram(L"/port:3 /sbit:2 \"" + file.wstring() + L"\""), 0u);
  std::unique_ptr<ConverterSettings> saved = ReadConfigFile(file);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->LinkSet().port, "COM3");
  EXPECT_EQ(saved->LinkSet().stopbits, 2);
  EXPECT_FALSE(RegKeyExists(kConfigKey));

  EXPECT_EQ(RunProgram(L"/port:3"), 0u);
  ExpectDefaultTree();
}

}  // namespace
