// The configuration tree on the real registry (under Wine in the test runs), read
// back through the Reg API: value types, data, order and subkeys.
#include <windows.h>
#include <rpc.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/code_pages.h"
#include "settings/kv_store.h"
#include "settings_support.h"

namespace {

struct RegValue {
  std::wstring name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// The values of a key in the order the registry enumerates them.
std::vector<RegValue> ValuesOf(const std::wstring& path) {
  std::vector<RegValue> out;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    RegValue v{std::wstring(name, nameLen), type, std::vector<BYTE>(size)};
    nameLen = 256;
    RegEnumValueW(key, i, name, &nameLen, nullptr, &type, v.data.data(), &size);
    out.push_back(std::move(v));
  }
  RegCloseKey(key);
  return out;
}

const RegValue* Find(const std::vector<RegValue>& values, const wchar_t* name) {
  for (const RegValue& v : values)
    if (v.name == name) return &v;
  return nullptr;
}

// A text value holds the UTF-16 units; Windows adds one terminating zero on its own
// when the units passed to RegSetValueExW are followed by one in memory.
bool SameData(const std::vector<BYTE>& got, const std::vector<BYTE>& text) {
  if (got == text) return true;
  std::vector<BYTE> terminated = text;
  terminated.push_back(0);
  terminated.push_back(0);
  return got == terminated;
}

bool KeyExists(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::vector<BYTE> Sz(const std::wstring& s) {
  std::vector<BYTE> d(s.size() * 2);
  std::memcpy(d.data(), s.data(), d.size());
  return d;
}

std::vector<BYTE> Dword(DWORD v) {
  std::vector<BYTE> d(4);
  std::memcpy(d.data(), &v, 4);
  return d;
}

void SetRaw(const std::wstring& path, const wchar_t* name, DWORD type, const std::vector<BYTE>& d) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, type, d.data(), static_cast<DWORD>(d.size()));
  RegCloseKey(key);
}

// Runs on the registry of this build tree's Wine prefix, in a key of its own.
class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetKvStore(nullptr);  // the real registry
    RegisterObjectFactory(&CreateSettingsObject, &DestroySettingsObject);
    ClearCatalogue();
    Catalogue().LoadText(kTestCatalogue);
    base = L"SOFTWARE\\KV4T-Tests\\" + std::to_wstring(GetCurrentProcessId());
    location = "reg::" + WideToCp1251(base);
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    ClearCatalogue();
    RegisterObjectFactory(nullptr, nullptr);
  }
  std::wstring base;
  std::string location;
};

TEST_F(RegistryTest, SavedTreeLayout) {
  ConfigObject root;
  auto* d = new ConverterSettings();
  root.AddChild(d);
  d->name = "kv4t";
  d->description = Utf8ToCp1251("Цех 2");
  GuidFromText("6f1c2a9e-35b4-4c07-9d2e-8a41f0c3b5d7", d->objId);
  d->storedSettings[ConverterSettings::kStoredLink].port = "COM2";
  d->storedSettings[ConverterSettings::kStoredLink].delay = 250;
  ASSERT_TRUE(SaveTree(&root, location));

  std::wstring rootKey = base + L"\\configuration";
  const struct {
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
  } rootExpected[] = {
      {L"type", REG_SZ, Sz(L"object")},
      {L"name", REG_SZ, Sz(L"noname")},
      {L"lastCh", REG_DWORD, Dword(0)},
      {L"lastGr", REG_DWORD, Dword(0)},
      {L"ro", REG_DWORD, Dword(0)},
      {L"description", REG_SZ, {}},
      {L"objId", REG_SZ, Sz(L"00000000-0000-0000-0000-000000000000")},
      {L"chCnt", REG_DWORD, Dword(1)},
  };
  std::vector<RegValue> rv = ValuesOf(rootKey);
  ASSERT_EQ(rv.size(), std::size(rootExpected));
  for (const auto& e : rootExpected) {
    const RegValue* v = Find(rv, e.name);
    ASSERT_NE(v, nullptr) << e.name;
    EXPECT_EQ(v->type, e.type) << e.name;
    EXPECT_TRUE(SameData(v->data, e.data)) << e.name;
  }

  // The registry keeps its own order of values (Wine sorts them by name): the order
  // of the writes is checked on the file store.
  const wchar_t* texts[] = {L"port", L"kv7_devtype", L"kv7_fwver", L"type", L"name",
                            L"description", L"objId"};
  const wchar_t* numbers[] = {
      L"baud", L"bytesize", L"parity", L"stopbits", L"address", L"alen", L"adaptor", L"delay",
      L"proto", L"answer_timeout", L"kv7_baud", L"kv7_bytesize", L"kv7_parity", L"kv7_stopbits",
      L"kv7_pollfreq", L"kv8_baud", L"kv8_bytesize", L"kv8_parity", L"kv8_stopbits",
      L"kv8_address", L"kv8_alen", L"kv8_proto", L"kv8_delay", L"lastCh", L"lastGr", L"ro",
      L"chCnt"};
  std::vector<RegValue> dv = ValuesOf(rootKey + L"\\0");
  EXPECT_EQ(dv.size(), std::size(texts) + std::size(numbers));
  for (const wchar_t* n : texts) {
    const RegValue* v = Find(dv, n);
    ASSERT_NE(v, nullptr) << n;
    EXPECT_EQ(v->type, DWORD{REG_SZ}) << n;
  }
  for (const wchar_t* n : numbers) {
    const RegValue* v = Find(dv, n);
    ASSERT_NE(v, nullptr) << n;
    EXPECT_EQ(v->type, DWORD{REG_DWORD}) << n;
    EXPECT_EQ(v->data.size(), 4u) << n;
  }
  EXPECT_TRUE(SameData(Find(dv, L"port")->data, Sz(L"COM2")));
  EXPECT_EQ(Find(dv, L"delay")->data, Dword(250));
  EXPECT_EQ(Find(dv, L"answer_timeout")->data, Dword(250));
  EXPECT_TRUE(SameData(Find(dv, L"type")->data, Sz(L"kv4t_device")));
  // Windows-1251 whatever the ANSI code page.
  EXPECT_TRUE(SameData(Find(dv, L"description")->data, Sz(L"Цех 2")));
  EXPECT_TRUE(SameData(Find(dv, L"objId")->data, Sz(L"6f1c2a9e-35b4-4c07-9d2e-8a41f0c3b5d7")));
  EXPECT_FALSE(KeyExists(rootKey + L"\\1"));

  // Loaded back, then saved with fewer children: the old subkey is gone.
  std::unique_ptr<ConfigObject> back(LoadTree(location));
  ASSERT_EQ(back->Children().size(), 1u);
  auto* bd = dynamic_cast<ConverterSettings*>(back->Children()[0]);
  ASSERT_NE(bd, nullptr);
  EXPECT_EQ(bd->description, d->description);
  EXPECT_EQ(bd->objId, d->objId);
  EXPECT_EQ(bd->workingSettings[ConverterSettings::kLink].port, "COM2");
  delete bd;
  SaveTree(back.get(), location);
  EXPECT_FALSE(KeyExists(rootKey + L"\\0"));
  EXPECT_EQ(Find(ValuesOf(rootKey), L"chCnt")->data, Dword(0));
}

// Values written by another hand, of the wrong type or size.
TEST_F(RegistryTest, ValuesOfTheWrongTypeOrSize) {
  std::wstring key = base + L"\\configuration\\0";
  std::wstring rootKey = base + L"\\configuration";
  SetRaw(rootKey, L"name", REG_SZ, Sz(L"root"));
  SetRaw(rootKey, L"chCnt", REG_DWORD, Dword(1));
  SetRaw(key, L"type", REG_SZ, Sz(std::wstring(L"kv4t_device\0", 12)));  // with its zero
  SetRaw(key, L"name", REG_EXPAND_SZ, Sz(L"dev"));
  SetRaw(key, L"baud", REG_SZ, Sz(L"19200"));             // 10 bytes: too long
  SetRaw(key, L"bytesize", REG_BINARY, {7});               // 1 byte: read as 7
  SetRaw(key, L"parity", REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0});  // 8 bytes: fallback
  SetRaw(key, L"alen", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 11});  // little-endian read: huge
  SetRaw(key, L"address", REG_DWORD, Dword(200));
  SetRaw(key, L"port", REG_DWORD, {'C', 0, 'O', 0});       // text whatever the type
  SetRaw(key, L"kv8_delay", REG_SZ, {});                   // empty: zero
  std::unique_ptr<ConfigObject> root(LoadTree(location));
  ASSERT_EQ(root->Children().size(), 1u);
  auto* d = dynamic_cast<ConverterSettings*>(root->Children()[0]);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->name, "dev");
  const PortSettings& link = d->workingSettings[ConverterSettings::kLink];
  EXPECT_EQ(link.baud, 9600);
  EXPECT_EQ(link.bytesize, 7);
  EXPECT_EQ(link.parity, 0);
  EXPECT_EQ(link.alen, 8);
  EXPECT_EQ(link.address, 200);
  EXPECT_EQ(link.port, "CO");
  EXPECT_EQ(d->workingSettings[ConverterSettings::kRs485].delay, 0);
}

TEST_F(RegistryTest, DeleteTreeAndSubkeys) {
  KvStore& reg = ActiveKvStore();
  std::u16string path = Cp1251ToUtf16(WideToCp1251(base));
  ASSERT_TRUE(reg.WriteNumber(path + u"\\a\\b\\c", u"x", 1));
  ASSERT_TRUE(reg.WriteText(path + u"\\a\\d", u"y", u"z"));
  std::vector<std::u16string> names;
  ASSERT_TRUE(reg.EnumSubkeys(path + u"\\a", names));
  EXPECT_EQ(names.size(), 2u);
  EXPECT_TRUE(reg.DeleteTree(path + u"\\a"));
  EXPECT_FALSE(KeyExists(base + L"\\a"));
  EXPECT_TRUE(KeyExists(base));
  EXPECT_FALSE(reg.DeleteTree(path + u"\\a"));
  uint32_t v = 0;
  EXPECT_FALSE(reg.ReadNumber(path + u"\\a\\b\\c", u"x", v));
}

// The RPC run time and the portable code give the same text and accept the same
// texts.
TEST(GuidRpc, SameAsPortable) {
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    Guid g;
    g.data1 = rng();
    g.data2 = static_cast<uint16_t>(rng());
    g.data3 = static_cast<uint16_t>(rng());
    for (uint8_t& b : g.data4) b = static_cast<uint8_t>(rng());
    std::string text;
    ASSERT_TRUE(GuidToText(g, text));
    EXPECT_EQ(text, PortableGuidToText(g));
    Guid back;
    EXPECT_TRUE(GuidFromText(text, back));
    EXPECT_EQ(back, g);
  }
  const char* texts[] = {"0123ABCD-4567-89ef-0123-456789abcdef", "{0123abcd-4567-89ef-0123-456789abcdef}",
                         "0123abcd-4567-89ef-0123-456789abcde", "0123abcd-4567-89ef-0123+456789abcdef",
                         "0123abcd-4567-89ef-0123-456789abcdeg", "", "00000000-0000-0000-0000-000000000000",
                         "0123abcd-4567-89ef-0123-456789abcdef0", " 123abcd-4567-89ef-0123-456789abcdef"};
  for (const char* t : texts) {
    Guid a, b;
    EXPECT_EQ(GuidFromText(t, a), PortableGuidFromText(t, b)) << t;
    EXPECT_EQ(a, b) << t;
  }
}

}  // namespace
