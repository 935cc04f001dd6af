// The key/value store kept in one text file, for hosts without a registry: a tree
// of keys and typed values in .reg syntax (UTF-8 text), rewritten as a whole into
// a temporary file that then replaces the old one, so a crash or a full disk never
// leaves a half-written store.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\SOFTWARE\RAVIK\KV4T-Config\configuration]
//   "type"="object"
//   "lastCh"=dword:00000000
//
// "text" is a REG_SZ whose data are exactly the text's UTF-16 units (no
// terminating zero); dword:xxxxxxxx a 4-byte REG_DWORD; hex:aa,bb a REG_BINARY and
// hex(t):aa,bb a value of type t with any data (also text that is not clean
// UTF-16, or a number of the wrong size). "@" names the default value. Lines that
// are not understood are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/kv_store.h"

// Registry value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

class FileStore : public KvStore {
public:
  struct Value {
    std::u16string name;
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
  };

  // A store kept in `file`; an empty path keeps it in memory only. The file is
  // read at the first access.
  explicit FileStore(std::filesystem::path file = {});
  ~FileStore() override;

  bool ReadText(const std::u16string& path, const std::u16string& name,
                std::u16string& text) override;
  bool ReadNumber(const std::u16string& path, const std::u16string& name,
                  uint32_t& value) override;
  bool WriteText(const std::u16string& path, const std::u16string& name,
                 const std::u16string& text) override;
  bool WriteNumber(const std::u16string& path, const std::u16string& name,
                   uint32_t value) override;
  bool DeleteTree(const std::u16string& path) override;
  bool EnumSubkeys(const std::u16string& path, std::vector<std::u16string>& names) override;
  void BeginUpdate() override;
  void EndUpdate() override;

  // A value with its type and raw data.
  bool GetValue(const std::u16string& path, const std::u16string& name, Value& value);
  bool SetValue(const std::u16string& path, const std::u16string& name, uint32_t type,
                std::vector<uint8_t> data);
  // Names of the values of a key in the order they were first set.
  bool ValueNames(const std::u16string& path, std::vector<std::u16string>& names);
  bool KeyExists(const std::u16string& path);

  // Replaces the tree by the one in `text` (the file's content), and the file's
  // content for the tree. Exposed for tests and the fuzzer.
  void ParseText(std::string_view text);
  std::string FormatText();

  // True when the file exists but could not be read: the store then refuses every
  // write, so it never overwrites what it could not understand.
  bool Unreadable();
  // Writes the file now (also done after every change outside Begin/EndUpdate).
  bool Flush();

  struct Key;

private:
  void EnsureLoaded();
  Key* FindKey(const std::u16string& path);
  Key* CreateKeyPath(const std::u16string& path);
  bool Changed();

  std::filesystem::path file_;
  std::unique_ptr<Key> root_;
  bool loaded_ = false;
  bool unreadable_ = false;
  int updateDepth_ = 0;
  bool dirty_ = false;
};
