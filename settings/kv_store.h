// The key/value store under the configuration tree: the registry primitives the
// tree needs, on key paths under HKEY_CURRENT_USER ("SOFTWARE\RAVIK\...", with "\"
// between key names). Windows: the real registry. Elsewhere: a registry-shaped
// tree of keys and typed values kept in one text file (file_store.h).
//
// Texts at this seam are UTF-16, as the registry holds them; the configuration
// tree converts them from and to its 8-bit Windows-1251 text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class KvStore {
public:
  virtual ~KvStore() = default;

  // The data of value `name` of the key taken as UTF-16, whatever the value's type
  // (an odd last byte is dropped). False when the key or the value is missing.
  virtual bool ReadText(const std::u16string& path, const std::u16string& name,
                        std::u16string& text) = 0;
  // The data of value `name` read into a zeroed 4-byte buffer, whatever the
  // value's type. False when the key or value is missing or the data is longer
  // than 4 bytes.
  virtual bool ReadNumber(const std::u16string& path, const std::u16string& name,
                          uint32_t& value) = 0;
  // Create the key (and the keys above it) when missing and set a REG_SZ value
  // (data: the UTF-16 units, no terminating zero) or a REG_DWORD value.
  virtual bool WriteText(const std::u16string& path, const std::u16string& name,
                         const std::u16string& text) = 0;
  virtual bool WriteNumber(const std::u16string& path, const std::u16string& name,
                           uint32_t value) = 0;
  // Delete the key with all its subkeys and values; false when the key cannot be
  // opened (nothing deleted).
  virtual bool DeleteTree(const std::u16string& path) = 0;
  // Names of the direct subkeys of the key; false when the key is missing.
  virtual bool EnumSubkeys(const std::u16string& path, std::vector<std::u16string>& names) = 0;

  // A run of writes (saving a whole tree) may be gathered and made durable once
  // at EndUpdate; stores that write through ignore these.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
};

// The store of this platform: the registry on Windows, the file store elsewhere
// ($KV4T_STORE_FILE, else ~/.config/kv4t/registry.reg).
KvStore& DefaultKvStore();

// The store the configuration tree uses: the default one unless another was set.
// SetKvStore(nullptr) returns to the default. The store is not owned.
KvStore& ActiveKvStore();
void SetKvStore(KvStore* store);
