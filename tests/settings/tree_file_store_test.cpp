// The file store: the .reg text it writes and reads, values of every kind, the
// lenient reader, and the whole-file replacement.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/code_pages.h"
#include "tree_support.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("kv4t-store-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    file = dir / "sub" / "registry.reg";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  size_t FilesIn(const fs::path& d) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(d), {}));
  }
  fs::path dir, file;
};

TEST_F(FileStoreTest, WritesRegText) {
  FileStore s(file);
  ASSERT_TRUE(s.WriteText(u"SOFTWARE\\RAVIK\\KV4T-Config\\configuration", u"name", u"noname"));
  ASSERT_TRUE(s.WriteNumber(u"SOFTWARE\\RAVIK\\KV4T-Config\\configuration", u"lastCh", 0x1234));
  ASSERT_TRUE(s.WriteText(u"SOFTWARE\\RAVIK\\KV4T-Config\\configuration\\0", u"port",
                          u"C:\\\"Цех\""));
  EXPECT_EQ(ReadText(file),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n[HKEY_CURRENT_USER\\SOFTWARE]\r\n"
            "\r\n[HKEY_CURRENT_USER\\SOFTWARE\\RAVIK]\r\n"
            "\r\n[HKEY_CURRENT_USER\\SOFTWARE\\RAVIK\\KV4T-Config]\r\n"
            "\r\n[HKEY_CURRENT_USER\\SOFTWARE\\RAVIK\\KV4T-Config\\configuration]\r\n"
            "\"name\"=\"noname\"\r\n"
            "\"lastCh\"=dword:00001234\r\n"
            "\r\n[HKEY_CURRENT_USER\\SOFTWARE\\RAVIK\\KV4T-Config\\configuration\\0]\r\n"
            "\"port\"=\"C:\\\\\\\"Цех\\\"\"\r\n");
  EXPECT_EQ(FilesIn(file.parent_path()), 1u);  // no temporary file left
}

TEST_F(FileStoreTest, EveryKindOfValueSurvivesTheFile) {
  struct Case {
    const char16_t* name;
    uint32_t type;
    std::vector<uint8_t> data;
  } cases[] = {
      {u"text", kRegSz, {'a', 0, 0x16, 0x21}},             // "a№"
      {u"", kRegSz, {'d', 0}},                              // the default value "@"
      {u"with zero", kRegSz, {'a', 0, 0, 0}},              // not clean text: hex(1)
      {u"control", kRegSz, {'\n', 0}},
      {u"odd", kRegSz, {'a', 0, 'b'}},
      {u"lone surrogate", kRegSz, {0x00, 0xD8}},
      {u"empty", kRegSz, {}},
      {u"number", kRegDword, {1, 2, 3, 4}},
      {u"short number", kRegDword, {1, 2}},
      {u"binary", kRegBinary, {0, 255, 16}},
      {u"empty binary", kRegBinary, {}},
      {u"expand", 2, {'x', 0}},
      {u"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"Quote\"and\\slash", kRegDword, {9, 0, 0, 0}},
      {u"Имя", kRegDword, {1, 0, 0, 0}},
  };
  {
    FileStore s(file);
    s.BeginUpdate();
    for (const Case& c : cases) ASSERT_TRUE(s.SetValue(u"A\\B", c.name, c.type, c.data));
    EXPECT_FALSE(fs::exists(file));  // gathered until EndUpdate
    s.EndUpdate();
    EXPECT_TRUE(fs::exists(file));
  }
  FileStore back(file);
  std::vector<std::u16string> names;
  ASSERT_TRUE(back.ValueNames(u"a\\b", names));  // key names ignore case
  ASSERT_EQ(names.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(names[i], c.name);
    FileStore::Value v;
    ASSERT_TRUE(back.GetValue(u"A\\B", c.name, v)) << i;
    EXPECT_EQ(v.type, c.type) << i;
    EXPECT_EQ(v.data, c.data) << i;
  }
  FileStore::Value v;
  EXPECT_TRUE(back.GetValue(u"A\\B", u"NUMBER", v));  // value names ignore case
  FileStore first(file);
  EXPECT_EQ(back.FormatText(), first.FormatText());
}

TEST_F(FileStoreTest, LenientReader) {
  FileStore s;
  s.ParseText(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "; a comment\n"
      "\"orphan\"=\"no key yet\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"
      "\"other hive\"=dword:1\n"
      "[HKEY_CURRENT_USER\\K]\n"
      "\"a\"=dword:1f\n"
      "\"b\" = \"spaced\"  \n"
      "\"c\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"d\"=hex(4):zz\n"
      "\"e\"=dword:123456789\n"
      "\"f\"=unknown:1\n"
      "\"g\"\n"
      "\"h\"=\"unterminated\n"
      "\"a\"=dword:2\n"
      "\"i\"=\"gone\"\n"
      "\"i\"=-\n"
      "@=\"default\"\n"
      "[HKEY_CURRENT_USER\\K\\\\bad]\n"
      "\"j\"=dword:1\n"
      "[HKEY_CURRENT_USER\\K\\Sub\n"
      "\"k\"=dword:1\n");
  std::vector<std::u16string> names;
  ASSERT_TRUE(s.ValueNames(u"K", names));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"b", u"c", u""}));
  uint32_t n = 0;
  EXPECT_TRUE(s.ReadNumber(u"K", u"a", n));
  EXPECT_EQ(n, 2u);
  std::u16string t;
  EXPECT_TRUE(s.ReadText(u"K", u"b", t));
  EXPECT_EQ(t, u"spaced");
  FileStore::Value v;
  ASSERT_TRUE(s.GetValue(u"K", u"c", v));
  EXPECT_EQ(v.data, (std::vector<uint8_t>{1, 2, 3, 4}));
  std::vector<std::u16string> keys;
  ASSERT_TRUE(s.EnumSubkeys(u"", keys));
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"K"}));
}

TEST_F(FileStoreTest, KeysAndTheirLimits) {
  FileStore s;
  EXPECT_TRUE(s.WriteNumber(u"A\\b\\C", u"x", 1));
  EXPECT_TRUE(s.WriteNumber(u"a\\B\\d", u"x", 1));
  std::vector<std::u16string> keys;
  ASSERT_TRUE(s.EnumSubkeys(u"a\\b", keys));
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"C", u"d"}));
  EXPECT_FALSE(s.WriteNumber(u"A\\\\B", u"x", 1));
  EXPECT_FALSE(s.WriteNumber(u"\\A", u"x", 1));
  std::u16string deep;
  for (int i = 0; i < 600; ++i) deep += u"k\\";
  deep += u"k";
  EXPECT_FALSE(s.WriteNumber(deep, u"x", 1));
  EXPECT_FALSE(s.WriteNumber(std::u16string(256, u'k'), u"x", 1));
  EXPECT_FALSE(s.WriteText(u"A", u"line\nbreak", u"x"));
  EXPECT_TRUE(s.DeleteTree(u"a\\B"));
  EXPECT_FALSE(s.KeyExists(u"A\\b\\C"));
  EXPECT_TRUE(s.KeyExists(u"A"));
  EXPECT_FALSE(s.DeleteTree(u"A\\b"));
  EXPECT_FALSE(s.DeleteTree(u"missing"));
}

TEST_F(FileStoreTest, UnreadableFileIsNeverOverwritten) {
  fs::create_directories(file);  // a folder where the file should be
  FileStore s(file);
  EXPECT_TRUE(s.Unreadable());
  EXPECT_FALSE(s.WriteNumber(u"A", u"x", 1));
  EXPECT_TRUE(fs::is_directory(file));
}

TEST_F(FileStoreTest, TreeSavedThroughTheFile) {
  FileStore s(file);
  SetKvStore(&s);
  RegisterObjectFactory(&TestCreate, &TestDestroy);
  ConfigObject root;
  root.AddChild(MakeItem("one"));
  SaveTree(&root, "reg::SOFTWARE\\RAVIK\\KV4T-Config");
  SetKvStore(nullptr);

  FileStore reread(file);
  SetKvStore(&reread);
  std::unique_ptr<ConfigObject> back(LoadTree("reg::SOFTWARE\\RAVIK\\KV4T-Config"));
  SetKvStore(nullptr);
  RegisterObjectFactory(nullptr, nullptr);
  ASSERT_EQ(back->Children().size(), 1u);
  EXPECT_EQ(back->Children()[0]->name, "one");
}

}  // namespace
