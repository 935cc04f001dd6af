// The key/value store on the Windows registry, under HKEY_CURRENT_USER.
#include <windows.h>

#include <vector>

#include "settings/kv_store.h"

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// A text value longer than this is taken as damaged and reported missing rather
// than read into memory.
constexpr DWORD kMaxTextBytes = 1u << 20;

class KeyHandle {
public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (key_) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

private:
  HKEY key_ = nullptr;
};

// Registry calls answer ERROR_SUCCESS (0) or an error code; they never set the
// thread's last error.
bool OpenKey(const std::u16string& path, REGSAM access, KeyHandle& key) {
  return RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, access, key.out()) == ERROR_SUCCESS;
}

bool CreateKey(const std::u16string& path, KeyHandle& key) {
  return RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key.out(), nullptr) == ERROR_SUCCESS;
}

bool SubkeyNames(HKEY key, std::vector<std::u16string>& names) {
  DWORD count = 0;
  DWORD longest = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(longest) + 2);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG rc = RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(reinterpret_cast<const char16_t*>(buffer.data()), length);
  }
  return true;
}

class RegistryStore : public KvStore {
public:
  bool ReadText(const std::u16string& path, const std::u16string& name,
                std::u16string& text) override {
    KeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return false;
    // Ask for the size first; the value may grow between the calls, so repeat
    // while the registry says there is more.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD size = 0;
      if (RegQueryValueExW(key.get(), W(name), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
      if (size > kMaxTextBytes) return false;
      std::vector<BYTE> data(size + 2);
      DWORD got = size;
      LONG rc = RegQueryValueExW(key.get(), W(name), nullptr, nullptr, data.data(), &got);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS) return false;
      text.assign(got / 2, u'\0');
      for (DWORD i = 0; i < got / 2; ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
      return true;
    }
    return false;
  }

  bool ReadNumber(const std::u16string& path, const std::u16string& name,
                  uint32_t& value) override {
    KeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return false;
    BYTE buffer[4] = {0, 0, 0, 0};
    DWORD size = sizeof buffer;
    // Whatever the value's type: longer data fails with ERROR_MORE_DATA.
    if (RegQueryValueExW(key.get(), W(name), nullptr, nullptr, buffer, &size) != ERROR_SUCCESS)
      return false;
    value = static_cast<uint32_t>(buffer[0]) | static_cast<uint32_t>(buffer[1]) << 8 |
            static_cast<uint32_t>(buffer[2]) << 16 | static_cast<uint32_t>(buffer[3]) << 24;
    return true;
  }

  bool WriteText(const std::u16string& path, const std::u16string& name,
                 const std::u16string& text) override {
    KeyHandle key;
    if (!CreateKey(path, key)) return false;
    return RegSetValueExW(key.get(), W(name), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size() * 2)) == ERROR_SUCCESS;
  }

  bool WriteNumber(const std::u16string& path, const std::u16string& name,
                   uint32_t value) override {
    KeyHandle key;
    if (!CreateKey(path, key)) return false;
    DWORD dword = value;
    return RegSetValueExW(key.get(), W(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword),
                          sizeof dword) == ERROR_SUCCESS;
  }

  bool DeleteTree(const std::u16string& path) override {
    std::vector<std::u16string> names;
    {
      KeyHandle key;
      if (!OpenKey(path, KEY_ALL_ACCESS, key)) return false;
      SubkeyNames(key.get(), names);
      for (const std::u16string& n : names) DeleteTree(path + u"\\" + n);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, W(path));
    return true;
  }

  bool EnumSubkeys(const std::u16string& path, std::vector<std::u16string>& names) override {
    KeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return false;
    return SubkeyNames(key.get(), names);
  }
};

}  // namespace

KvStore& DefaultKvStore() {
  static RegistryStore store;
  return store;
}
