#include "settings/stored_values.h"

#include "common/code_pages.h"
#include "settings/kv_store.h"

namespace {

KvStore* g_store = nullptr;

// A stored location's key path as UTF-16, or false for schemes that are not stored.
bool StoredPath(std::string_view location, std::u16string& path) {
  Location loc = SplitLocation(location);
  if (loc.scheme != "reg") return false;
  path = Cp1251ToUtf16(loc.path);
  return true;
}

}  // namespace

KvStore& ActiveKvStore() { return g_store ? *g_store : DefaultKvStore(); }
void SetKvStore(KvStore* store) { g_store = store; }

Location SplitLocation(std::string_view location) {
  size_t at = location.find("::");
  if (at == std::string_view::npos) return {std::string(), std::string(location)};
  return {std::string(location.substr(0, at)), std::string(location.substr(at + 2))};
}

bool ReadStoredText(std::string_view location, std::string_view name, std::string& value) {
  std::u16string path;
  if (!StoredPath(location, path)) return false;
  std::u16string data;
  if (!ActiveKvStore().ReadText(path, Cp1251ToUtf16(name), data)) return false;
  if (!data.empty() && data.back() == u'\0') data.pop_back();
  value = Utf16ToCp1251(data);
  return true;
}

bool ReadStoredNumber(std::string_view location, std::string_view name, uint32_t& value) {
  std::u16string path;
  if (!StoredPath(location, path)) return false;
  return ActiveKvStore().ReadNumber(path, Cp1251ToUtf16(name), value);
}

bool ReadStoredInt(std::string_view location, std::string_view name, int32_t& value) {
  uint32_t v = 0;
  if (!ReadStoredNumber(location, name, v)) return false;
  value = static_cast<int32_t>(v);
  return true;
}

bool WriteStoredText(std::string_view location, std::string_view name, std::string_view value) {
  std::u16string path;
  if (!StoredPath(location, path)) return false;
  return ActiveKvStore().WriteText(path, Cp1251ToUtf16(name), Cp1251ToUtf16(value));
}

bool WriteStoredNumber(std::string_view location, std::string_view name, uint32_t value) {
  std::u16string path;
  if (!StoredPath(location, path)) return false;
  return ActiveKvStore().WriteNumber(path, Cp1251ToUtf16(name), value);
}

bool DeleteStoredTree(std::string_view path) {
  return ActiveKvStore().DeleteTree(Cp1251ToUtf16(path));
}

bool ReadStoredSubkeys(std::string_view location, std::vector<std::string>& names) {
  names.clear();
  std::u16string path;
  if (!StoredPath(location, path)) return false;
  std::vector<std::u16string> keys;
  if (!ActiveKvStore().EnumSubkeys(path, keys)) return false;
  names.reserve(keys.size());
  for (const std::u16string& key : keys) names.push_back(Utf16ToCp1251(key));
  return true;
}
