// The "KV4TCFG1" converter configuration file: round trip, signature checks, files
// cut short or with absurd lengths, failed saves, and the file the Windows build
// writes read back byte for byte.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "common/code_pages.h"
#include "settings_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The folder holding the committed test data, beside this source file. Under Wine
// the source tree is reached through drive Z:.
fs::path DataFolder() {
  std::string here = KV4T_SETTINGS_TEST_DATA;
#ifdef _WIN32
  if (!here.empty() && here[0] == '/') here = "Z:" + here;
#endif
  return fs::path(here);
}

std::string Utf8Of(const fs::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

// Everything a configuration file holds, set to values that show in every byte.
void FillDevice(ConverterSettings& d) {
  FillRecord(d, "kv4t", "Преобразователь цеха №2", 3, 1, 1, "6f1c2a9e-35b4-4c07-9d2e-8a41f0c3b5d7");
  d.workingSettings[ConverterSettings::kLink] = {
      .port = "COM4", .devtype = "KS4T", .fwver = "2.05", .baud = 19200, .bytesize = 8,
      .parity = 2, .stopbits = 0, .address = 33, .alen = 8, .adaptor = 1, .proto = 0,
      .delay = 150};
  d.workingSettings[ConverterSettings::kRs485] = {
      .baud = 38400, .bytesize = 7, .parity = 1, .stopbits = 2, .address = 1500, .alen = 11,
      .proto = 2, .delay = 40};
  // The loop set keeps the first entry's data bits and stop bits.
  PortSettings& loop = d.workingSettings[ConverterSettings::kLoop];
  loop.devtype = "TM-20";
  loop.fwver = "B2";
  loop.baud = 19200;
  loop.parity = 1;
  loop.delay = 12;
}

class ConfigFileTest : public SettingsTest {
protected:
  void SetUp() override {
    SettingsTest::SetUp();
    dir = fs::temp_directory_path() /
          ("kv4t-cfg-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
    SettingsTest::TearDown();
  }
  // A path in the program's own text: Windows-1251.
  std::string PathText(const std::string& leafUtf8) {
    return Utf8ToCp1251(Utf8Of(dir) + "/" + leafUtf8);
  }
  // Only the file itself is left in the folder: no temporary files.
  size_t FilesInDir() { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

  fs::path dir;
};

void ExpectSameRecord(const ConverterSettings& a, const ConverterSettings& b) {
  ExpectSameRecord(static_cast<const ConfigObject&>(a), static_cast<const ConfigObject&>(b));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameValues(a.workingSettings[i], b.workingSettings[i])) << i;
}

TEST_F(ConfigFileTest, RoundTripRestoresTheRecord) {
  ConverterSettings d;
  FillDevice(d);
  ASSERT_EQ(d.SaveConfigFile(PathText("a.cfg")), 0);
  EXPECT_EQ(FilesInDir(), 1u);
  std::vector<uint8_t> bytes = ReadBytes(dir / "a.cfg");
  const uint8_t head[] = {0xFF, 0xFE, 0xFF, 0x08, 'K', 0, 'V', 0, '4', 0, 'T', 0,
                          'C',  0,    'F',  0,    'G', 0, '1', 0, 0xEA, 0x03, 0, 0};
  ASSERT_GE(bytes.size(), sizeof head);
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), bytes.begin()));  // version 1002

  ConverterSettings back;
  EXPECT_EQ(back.LoadConfigFile(PathText("a.cfg")), 0);
  ExpectSameRecord(back, d);
  EXPECT_EQ(back.formatVersion, kArchiveFormatVersion);
  // Only the working sets travel.
  EXPECT_EQ(back.storedSettings[0], PortSettings{});

  // A Cyrillic file name is Windows-1251 text in the program.
  ASSERT_EQ(d.SaveConfigFile(PathText("настройка.cfg")), 0);
  EXPECT_TRUE(fs::exists(dir / fs::path(u8"настройка.cfg")));
  EXPECT_EQ(back.LoadConfigFile(PathText("настройка.cfg")), 0);
}

TEST_F(ConfigFileTest, ForeignOrMissingFiles) {
  ConverterSettings good;
  FillDevice(good);
  Archive sig;
  sig.WriteString("KV4TCFG1");
  struct Case {
    const char* what;
    std::vector<uint8_t> content;  // empty with exists false: no file
    bool exists;
    int result;
  } cases[] = {
      {"no file", {}, false, 0},
      {"zero length", {}, true, 200},
      {"KV4TCFG2", [] { Archive a; a.WriteString("KV4TCFG2"); return a.Data(); }(), true, 200},
      {"lower case", [] { Archive a; a.WriteString("kv4tcfg1"); return a.Data(); }(), true, 200},
      {"longer", [] { Archive a; a.WriteString("KV4TCFG12"); return a.Data(); }(), true, 200},
      {"text file", {'K', 'V', '4', 'T', 'C', 'F', 'G', '1', '\n'}, true, 200},
      {"signature only", sig.Data(), true, 200},
  };
  for (const Case& c : cases) {
    fs::path p = dir / "f.cfg";
    fs::remove(p);
    if (c.exists) WriteBytes(p, c.content);
    ConverterSettings d;
    FillDevice(d);
    EXPECT_EQ(d.LoadConfigFile(PathText("f.cfg")), c.result) << c.what;
    ExpectSameRecord(d, good);
  }
  ConverterSettings d;
  EXPECT_EQ(d.LoadConfigFile(Utf8ToCp1251(Utf8Of(dir))), 0) << "a folder";
}

// Every cut of a good file fails cleanly and leaves the object as it was.
TEST_F(ConfigFileTest, FileCutAtAnyByte) {
  ConverterSettings source;
  FillDevice(source);
  ASSERT_EQ(source.SaveConfigFile(PathText("full.cfg")), 0);
  std::vector<uint8_t> full = ReadBytes(dir / "full.cfg");
  ConverterSettings before;
  for (size_t cut = 0; cut < full.size(); ++cut) {
    ConverterSettings d;
    EXPECT_EQ(d.LoadConfigData(full.data(), cut), 200) << cut;
    ExpectSameRecord(d, before);
  }
  ConverterSettings d;
  EXPECT_EQ(d.LoadConfigData(full.data(), full.size()), 0);
  ExpectSameRecord(d, source);
}

TEST_F(ConfigFileTest, AbsurdLengthsAndOddValues) {
  ConverterSettings source;
  FillDevice(source);
  Archive ar;
  ar.WriteString("KV4TCFG1");
  source.Serialize(ar);
  std::vector<uint8_t> good = ar.Data();
  // Byte 24 starts the name: make its length 0x7FFFFFFF units.
  std::vector<uint8_t> absurd(good.begin(), good.begin() + 24);
  for (uint8_t b : {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}) absurd.push_back(b);
  absurd.insert(absurd.end(), good.begin() + 24, good.end());
  ConverterSettings d;
  EXPECT_EQ(d.LoadConfigData(absurd.data(), absurd.size()), 200);
  EXPECT_EQ(d.name, "noname");

  // A negative delay in a block becomes 20; other values are taken as they are.
  ConverterSettings odd;
  FillDevice(odd);
  odd.workingSettings[ConverterSettings::kRs485].delay = -7;
  odd.workingSettings[ConverterSettings::kLink].bytesize = 3;
  Archive oa;
  oa.WriteString("KV4TCFG1");
  odd.Serialize(oa);
  ConverterSettings back;
  EXPECT_EQ(back.LoadConfigData(oa.Data().data(), oa.Data().size()), 0);
  EXPECT_EQ(back.workingSettings[ConverterSettings::kRs485].delay, 20);
  EXPECT_EQ(back.workingSettings[ConverterSettings::kLink].bytesize, 3);

  // Bytes after the third block are ignored.
  std::vector<uint8_t> longer = good;
  longer.push_back(0x55);
  ConverterSettings more;
  EXPECT_EQ(more.LoadConfigData(longer.data(), longer.size()), 0);
  ExpectSameRecord(more, source);
}

TEST_F(ConfigFileTest, FailedSaveKeepsTheOldFile) {
  ConverterSettings d;
  FillDevice(d);
  ASSERT_EQ(d.SaveConfigFile(PathText("keep.cfg")), 0);
  std::vector<uint8_t> old = ReadBytes(dir / "keep.cfg");
  // A folder in the way of the new file: the save fails, nothing is left behind.
  fs::create_directory(dir / "sub.cfg");
  EXPECT_EQ(d.SaveConfigFile(PathText("sub.cfg")), 200);
  EXPECT_EQ(d.SaveConfigFile(PathText("missing/x.cfg")), 200);
  EXPECT_EQ(FilesInDir(), 2u);
  d.name = "changed";
  ASSERT_EQ(d.SaveConfigFile(PathText("keep.cfg")), 0);
  EXPECT_NE(ReadBytes(dir / "keep.cfg"), old);
  EXPECT_EQ(FilesInDir(), 2u);
}

// The golden file was written by the Windows build (KV4T_WRITE_GOLDEN names where
// to write it); both builds read it and write it again byte for byte.
TEST_F(ConfigFileTest, FileOfTheWindowsBuildReadsBackByteForByte) {
  ConverterSettings d;
  FillDevice(d);
  if (const char* out = std::getenv("KV4T_WRITE_GOLDEN"); out && *out) {
    ASSERT_EQ(d.SaveConfigFile(out), 0);
  }
  fs::path golden = DataFolder() / "converter.kv4tcfg";
  std::vector<uint8_t> expected = ReadBytes(golden);
  ASSERT_FALSE(expected.empty()) << golden;

  ConverterSettings back;
  ASSERT_EQ(back.LoadConfigFile(Utf8ToCp1251(Utf8Of(golden))), 0);
  ExpectSameRecord(back, d);
  ASSERT_EQ(back.SaveConfigFile(PathText("again.cfg")), 0);
  EXPECT_EQ(ReadBytes(dir / "again.cfg"), expected);
  ASSERT_EQ(d.SaveConfigFile(PathText("fresh.cfg")), 0);
  EXPECT_EQ(ReadBytes(dir / "fresh.cfg"), expected);
}

}  // namespace
