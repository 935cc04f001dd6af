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

  // The program's main window, once it shows, closed as the user's Cancel closes
  // it. Without a display the program has no window and ends by itself.
  static void CancelSheet(const PROCESS_INFORMATION& process) {
    struct Search {
      DWORD process;
      HWND sheet = nullptr;
    } search{process.dwProcessId};
    for (int i = 0; i < 600 && WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT; ++i) {
      EnumWindows(
          [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t caption[64] = {};
            GetWindowTextW(window, caption, 64);
            if (owner == s->process && IsWindowVisible(window) &&
                std::wstring(caption) == L"KV4T Конфигуратор")
              s->sheet = window;
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.sheet) {
        PostMessageW(search.sheet, WM_COMMAND, IDCANCEL, 0);
        return;
      }
    }
  }

  // KV4T_Cfg.exe from the test's own folder with the given arguments, its window
  // cancelled; its exit code.
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
    CancelSheet(process);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_TIMEOUT) {
      ADD_FAILURE() << "KV4T_Cfg.exe does not end";
      TerminateProcess(process.hProcess, 1);
    }
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
