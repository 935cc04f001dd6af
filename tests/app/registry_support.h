// Windows only: start-up tests on the registry of the test prefix, with the tree's
// key read back through the Reg API.
#pragma once

#include <windows.h>

#include <string>

#include "tests/app/startup_support.h"

inline const wchar_t kConfigKey[] = L"SOFTWARE\\RAVIK\\KV4T-Config";
inline const wchar_t kDeviceKey[] = L"SOFTWARE\\RAVIK\\KV4T-Config\\configuration\\0";

// A text value, or "<missing>" when there is none of type REG_SZ.
inline std::wstring RegText(const wchar_t* key, const wchar_t* name) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return L"<missing>";
  return buffer;
}

// A REG_DWORD value, or 0xDEADBEEF when there is none.
inline DWORD RegNumber(const wchar_t* key, const wchar_t* name) {
  DWORD value = 0xDEADBEEF;
  DWORD size = sizeof value;
  RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

inline bool RegKeyExists(const wchar_t* key) {
  HKEY handle;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// Each test starts and ends without the configurator's key.
class RegistryStartupTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    SetKvStore(nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, kConfigKey);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kConfigKey);
    StartupTest::TearDown();
  }
};
