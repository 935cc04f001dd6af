#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "common/program_path.h"
#include "settings/config_object.h"
#include "settings/converter_settings.h"

namespace {

namespace fs = std::filesystem;

// "Привет" in each code page a description file may use.
const std::string kHelloCp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
const std::string kHelloCp866 = "\x8F\xE0\xA8\xA2\xA5\xE2";
const std::string kHelloKoi8r = "\xF0\xD2\xC9\xD7\xC5\xD4";
const std::string kHelloUtf8 = "Привет";

std::string Doc(const std::string& body, const std::string& declaration = "<?xml version=\"1.0\"?>") {
  return declaration + "\n<KV4T>\n" + body + "\n</KV4T>\n";
}

std::string Device(const std::string& deviceAttrs, const std::string& versions) {
  return "<device name=\"D\" description=\"dev\" " + deviceAttrs + ">\n" + versions + "\n</device>";
}

std::string Version(const std::string& name, const std::string& attrs = "") {
  return "<version name=\"" + name + "\" description=\"" + name + " desc\" " + attrs + " />";
}

std::vector<std::string> Pairs(const InstrumentCatalogue& c) {
  std::vector<std::string> out;
  for (const auto& e : c.entries()) out.push_back(e->name + "/" + e->version);
  return out;
}

// The one entry a device with one version yields.
DeviceDescription OneEntry(const std::string& deviceAttrs, const std::string& versionAttrs) {
  InstrumentCatalogue c;
  c.LoadText(Doc(Device(deviceAttrs, Version("V", versionAttrs))));
  EXPECT_EQ(c.size(), 1u);
  return c.empty() ? DeviceDescription{} : *c.entries().front();
}

struct SettingsCase {
  const char* device;
  const char* version;
  std::vector<int32_t> validbauds;
  int32_t defbaud;
  std::vector<int32_t> minpolls;
  int32_t pollmin, pollmax;
  int32_t defbytesize, defparity, defstopbits, flags;
};

const SettingsCase kSettingsCases[] = {
    // Nothing given: the built-in defaults.
    {"", "", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    // defbaud 0 takes the first listed rate; none anywhere gives 9600.
    {"", "validbauds=\"2400,4800,9600\" defbaud=\"0\"", {2400, 4800, 9600}, 2400, {1, 1, 1}, 1, 1000, 8, 0, 0, 0},
    {"", "validbauds=\"2400,4800\"", {2400, 4800}, 9600, {1, 1}, 1, 1000, 8, 0, 0, 0},
    // No usable rate: the default rate becomes the list.
    {"", "validbauds=\"abc\" defbaud=\"19200\"", {19200}, 19200, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "validbauds=\"\" defbaud=\"0\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    // List items: a 0 counts only when written with a leading 0.
    {"", "validbauds=\"0, 1200\"", {0, 1200}, 9600, {1, 1}, 1, 1000, 8, 0, 0, 0},
    {"", "validbauds=\"x,1200\"", {1200}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "validbauds=\" 2400 , ,9600 \"", {2400, 9600}, 9600, {1, 1}, 1, 1000, 8, 0, 0, 0},
    // Stop bits: 2 means two, anything else one.
    {"", "defstopbits=\"1\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "defstopbits=\"3\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "defstopbits=\"2\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 2, 0},
    // Data bits 7 or 8, parity 0 to 2.
    {"", "defbytesize=\"7\" defparity=\"2\"", {9600}, 9600, {1}, 1, 1000, 7, 2, 0, 0},
    {"", "defbytesize=\"9\" defparity=\"3\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "defbytesize=\"7 bits\" defparity=\"-1\"", {9600}, 9600, {1}, 1, 1000, 7, 0, 0, 0},
    // The poll range must be 1 <= pollmin < pollmax.
    {"", "pollmin=\"5\" pollmax=\"5\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "pollmin=\"10\" pollmax=\"3\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "pollmin=\"0\" pollmax=\"10\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    {"", "pollmin=\"2\" pollmax=\"10\"", {9600}, 9600, {1}, 2, 10, 8, 0, 0, 0},
    // minpolls: filled from pollmin, the last value repeated, extra values kept.
    {"", "validbauds=\"2400,9600,19200\" minpolls=\"7\"", {2400, 9600, 19200}, 9600, {7, 7, 7}, 1, 1000, 8, 0, 0, 0},
    {"", "validbauds=\"2400,9600,19200\" minpolls=\"x\" pollmin=\"2\"", {2400, 9600, 19200}, 9600, {2, 2, 2}, 2, 1000,
     8, 0, 0, 0},
    {"", "validbauds=\"2400,9600,19200\" minpolls=\"5,3\"", {2400, 9600, 19200}, 9600, {5, 3, 3}, 1, 1000, 8, 0, 0, 0},
    {"", "validbauds=\"2400,9600\" minpolls=\"4,3,2,1\"", {2400, 9600}, 9600, {4, 3, 2, 1}, 1, 1000, 8, 0, 0, 0},
    // Numbers: automatic base.
    {"", "defbaud=\"0x2580\" flags=\"0x0F\" pollmax=\"010\"", {9600}, 9600, {1}, 1, 8, 8, 0, 0, 15},
    {"", "defbaud=\"0x\"", {9600}, 9600, {1}, 1, 1000, 8, 0, 0, 0},
    // A setting missing on the version comes from the device; the version's wins.
    {"validbauds=\"4800,9600\" defbaud=\"4800\" flags=\"3\"", "", {4800, 9600}, 4800, {1, 1}, 1, 1000, 8, 0, 0, 3},
    {"validbauds=\"4800,9600\" defbaud=\"4800\" defstopbits=\"2\"", "defbaud=\"9600\" defstopbits=\"1\"",
     {4800, 9600}, 9600, {1, 1}, 1, 1000, 8, 0, 0, 0},
    // Values are taken without surrounding white space; the first of two counts.
    {"", "defbaud=\" 1200 \" defbaud=\"2400\"", {9600}, 1200, {1}, 1, 1000, 8, 0, 0, 0},
};

TEST(CatalogueLoader, EntrySettings) {
  for (const SettingsCase& c : kSettingsCases) {
    SCOPED_TRACE(std::string(c.device) + " | " + c.version);
    const DeviceDescription d = OneEntry(c.device, c.version);
    EXPECT_EQ(d.validbauds, c.validbauds);
    EXPECT_EQ(d.defbaud, c.defbaud);
    EXPECT_EQ(d.minpolls, c.minpolls);
    EXPECT_EQ(d.pollmin, c.pollmin);
    EXPECT_EQ(d.pollmax, c.pollmax);
    EXPECT_EQ(d.defbytesize, c.defbytesize);
    EXPECT_EQ(d.defparity, c.defparity);
    EXPECT_EQ(d.defstopbits, c.defstopbits);
    EXPECT_EQ(d.flags, c.flags);
  }
}

TEST(CatalogueLoader, PollIndexForBaud) {
  const DeviceDescription d = OneEntry("", "validbauds=\"2400,9600,19200\" minpolls=\"7\" pollmin=\"3\" pollmax=\"9\"");
  EXPECT_EQ(PollIndexForBaud(d, 9600), 7);
  EXPECT_EQ(PollIndexForBaud(d, 4800), 3);

  DeviceDescription e = BuiltInDescription();
  e.validbauds = {1200, 2400, 4800};
  e.minpolls = {5, -1};
  e.pollmin = 2;
  EXPECT_EQ(PollIndexForBaud(e, 1200), 5);
  EXPECT_EQ(PollIndexForBaud(e, 2400), 2);  // negative
  EXPECT_EQ(PollIndexForBaud(e, 4800), 2);  // beyond minpolls
  EXPECT_EQ(PollIndexForBaud(e, 9600), 2);  // not listed
}

TEST(CatalogueLoader, WhichElementsYieldEntries) {
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> pairs;
  } cases[] = {
      {"names of elements without regard to case",
       "<kv4t><Device name='A' description='a'><VERSION name='1' description='x'/></Device></kv4t>", {"A/1"}},
      {"a device without a description",
       Doc("<device name='A'><version name='1' description='x'/></device>" + Device("", Version("2"))), {"D/2"}},
      {"a version without name or description",
       Doc(Device("", "<version name='1'/><version description='x'/><version Name='3' description='x'/>" +
                          Version("4"))),
       {"D/4"}},
      {"other elements at every level",
       "<?xml version='1.0'?><other><device name='X' description='x'><version name='1' description='x'/>"
       "</device></other>" +
           Doc("<group>" + Device("", Version("1")) + "</group>" +
                   Device("", "<extra>" + Version("2") + "</extra>" + Version("3")), ""),
       {"D/3"}},
      {"the same pair twice: the first wins",
       Doc(Device("", Version("1", "defbaud='1200'") + Version("1", "defbaud='2400'"))), {"D/1"}},
      {"an unclosed version drops its whole container, earlier containers stay",
       Doc(Device("", Version("1"))) +
           Doc(Device("", Version("2") + "<version name='3' description='x'>") + Device("", Version("4"))) +
           Doc(Device("", Version("5"))),
       {"D/1"}},
      {"a container cut by the end of the file still counts",
       "<KV4T>" + Device("", Version("1")), {"D/1"}},
      {"a stray closing tag is stepped over", "</x> </KV4T>" + Doc(Device("", Version("1"))), {"D/1"}},
      {"the text ends at the first zero byte",
       Doc(Device("", Version("1"))) + std::string(1, '\0') + Doc(Device("", Version("2"))), {"D/1"}},
      {"an empty file", "", {}},
      {"not XML at all", "MZ\x90\x03\xff\xfe garbage } { ; <<<>>> &&& \"'", {}},
      {"a declaration alone", "<?xml version='1.0' encoding='UTF-8'?>", {}},
      {"an unquoted value swallows the slash of an empty element",
       Doc(Device("", "<version name=1 description=x flags=3/>" + Version("2"))), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstrumentCatalogue catalogue;
    catalogue.LoadText(c.text);
    EXPECT_EQ(Pairs(catalogue), c.pairs);
  }
}

// A device with a great many attributes and versions: looking each version's
// settings up among all the device's attributes again would not end within the
// test's time-out.
TEST(CatalogueLoader, ManyDeviceAttributesAndVersions) {
  std::string attrs = "defbaud='4800'";
  for (int i = 0; i < 150000; ++i) attrs += " b=1";
  std::string versions;
  for (int i = 0; i < 8000; ++i) versions += Version(std::to_string(i));
  InstrumentCatalogue c;
  c.LoadText(Doc(Device(attrs, versions)));
  ASSERT_EQ(c.size(), 8000u);
  EXPECT_EQ(c.entries().back()->defbaud, 4800);
  EXPECT_EQ(c.entries().back()->pollmax, 1000);
}

TEST(CatalogueLoader, TheFirstDescriptionOfAPairWinsAcrossFiles) {
  InstrumentCatalogue c;
  c.LoadText(Doc(Device("", Version("1", "defbaud='1200'"))));
  c.LoadText(Doc(Device("", Version("1", "defbaud='2400'") + Version("2"))));
  ASSERT_EQ(Pairs(c), (std::vector<std::string>{"D/1", "D/2"}));
  EXPECT_EQ(c.entries()[0]->defbaud, 1200);
  ASSERT_NE(c.Find("D", "2"), nullptr);
  EXPECT_EQ(c.Find("D", "2"), c.entries()[1].get());
  // Exact, case-sensitive comparison of both texts.
  EXPECT_EQ(c.Find("d", "1"), nullptr);
  EXPECT_EQ(c.Find("D", "1 "), nullptr);
  EXPECT_EQ(c.Find("", "D1"), nullptr);
  c.Clear();
  EXPECT_TRUE(c.empty());
  EXPECT_EQ(c.Find("D", "1"), nullptr);
}

TEST(CatalogueLoader, TextsAreDecodedByTheDeclaredEncoding) {
  const struct {
    const char* name;
    std::string declaration;
    std::string hello;  // "Привет" as the file holds it
    std::string expected;
  } cases[] = {
      {"UTF-8", "<?xml version='1.0' encoding='UTF-8'?>", kHelloUtf8, kHelloCp1251},
      {"utf-8 in lower case", "<?xml version='1.0' encoding=' utf-8 '?>", kHelloUtf8, kHelloCp1251},
      {"CP1251", "<?xml version='1.0' encoding='CP1251'?>", kHelloCp1251, kHelloCp1251},
      {"CP866", "<?xml version='1.0' encoding='cp866'?>", kHelloCp866, kHelloCp1251},
      {"KOI8-R", "<?xml version='1.0' encoding='KOI8-R'?>", kHelloKoi8r, kHelloCp1251},
      {"no declaration", "", kHelloCp1251, kHelloCp1251},
      {"an unknown encoding", "<?xml version='1.0' encoding='latin1'?>", kHelloCp1251, kHelloCp1251},
      {"a UTF-8 byte order mark", "\xEF\xBB\xBF", kHelloUtf8, kHelloCp1251},
      {"a UTF-8 byte order mark and a declaration", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>",
       kHelloUtf8, kHelloCp1251},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstrumentCatalogue catalogue;
    catalogue.LoadText(c.declaration + "\n<KV4T><device name=\"" + c.hello + "-1\" description=\"x\">" +
                       "<version name=\"" + c.hello + "\" description=\"" + c.hello + " &amp; " + c.hello +
                       "\"/></device></KV4T>");
    ASSERT_EQ(catalogue.size(), 1u);
    const DeviceDescription& d = *catalogue.entries()[0];
    EXPECT_EQ(d.name, c.expected + "-1");
    EXPECT_EQ(d.version, c.expected);
    EXPECT_EQ(d.description, c.expected + " & " + c.expected);
  }
}

TEST(CatalogueLoader, Utf16FileWithByteOrderMark) {
  const std::string text = Doc(Device("", "<version name='V' description='" + kHelloUtf8 + "'/>"));
  const std::u16string units = WideToUtf16(Utf8ToWide(text));
  std::string little = "\xFF\xFE", big = "\xFE\xFF";
  for (char16_t u : units) {
    little += static_cast<char>(u & 0xFF);
    little += static_cast<char>(u >> 8);
    big += static_cast<char>(u >> 8);
    big += static_cast<char>(u & 0xFF);
  }
  for (const std::string& bytes : {little, big}) {
    InstrumentCatalogue c;
    c.LoadText(bytes);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c.entries()[0]->description, kHelloCp1251);
  }
}

TEST(CatalogueLoader, BuiltInEntryOnlyWhenNothingWasRead) {
  InstrumentCatalogue c;
  c.AddBuiltInWhenEmpty();
  ASSERT_EQ(c.size(), 1u);
  const DeviceDescription& d = *c.entries()[0];
  EXPECT_EQ(d.name, "ZR-40");
  EXPECT_EQ(d.version, "ZR40A12");
  EXPECT_EQ(d.description, "ZR-40 (ZR40A12.HEX)");
  EXPECT_EQ(d.validbauds, std::vector<int32_t>{9600});
  EXPECT_TRUE(d.minpolls.empty());
  EXPECT_EQ(d.pollmax, 1000);
  EXPECT_EQ(d.pollmin, 1);
  EXPECT_EQ(d.defbaud, 9600);
  EXPECT_EQ(d.defbytesize, 8);
  EXPECT_EQ(d.defparity, 0);
  EXPECT_EQ(d.defstopbits, 2);
  EXPECT_EQ(d.flags, 0);
  EXPECT_EQ(PollIndexForBaud(d, 9600), 1);
  EXPECT_EQ(c.Find("ZR-40", "ZR40A12"), &d);

  InstrumentCatalogue filled;
  filled.LoadText(Doc(Device("", Version("1"))));
  filled.AddBuiltInWhenEmpty();
  EXPECT_EQ(Pairs(filled), std::vector<std::string>{"D/1"});
}

// A scratch folder of description files, removed afterwards.
class CatalogueFolder : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() /
              ("kv4t_catalogue_" + std::string(info->name()) + "_" + std::to_string(++counter));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }
  fs::path folder_;
};

TEST_F(CatalogueFolder, FilesAreReadInNameOrder) {
  // Written out of order; the listing order must not matter.
  Write("b_second.xml", Doc(Device("", Version("shared", "defbaud='2400'") + Version("b"))));
  Write("A_first.XML", Doc(Device("", Version("shared", "defbaud='1200'") + Version("a"))));
  Write("c_third.xml", Doc(Device("", Version("c"))));
  Write("notes.txt", Doc(Device("", Version("txt"))));
  Write("d.xml.bak", Doc(Device("", Version("bak"))));
  Write("empty.xml", "");
  Write("broken.xml", "<KV4T><device name='D' description='x'><version name='broken' description='x'>");
  fs::create_directories(folder_ / "folder.xml");
  std::string huge = Doc(Device("", Version("huge")));
  huge.resize(kMaxDescriptionFileBytes + 1, ' ');
  Write("huge.xml", huge);
  huge.resize(kMaxDescriptionFileBytes);
  Write("large.xml", huge);

  InstrumentCatalogue c;
  c.LoadFolder(folder_);
  EXPECT_EQ(Pairs(c), (std::vector<std::string>{"D/shared", "D/a", "D/b", "D/c", "D/huge"}));
  EXPECT_EQ(c.Find("D", "shared")->defbaud, 1200);
}

TEST_F(CatalogueFolder, FolderAndFileNamesBeyondAscii) {
  const fs::path folder = folder_ / fs::path(u8"Приборы КВ4Т");
  fs::create_directories(folder);
  std::ofstream(folder / fs::path(u8"Термометры.xml"), std::ios::binary) << Doc(Device("", Version("1")));
  InstrumentCatalogue c;
  c.LoadFolder(folder);
  EXPECT_EQ(Pairs(c), std::vector<std::string>{"D/1"});
}

TEST_F(CatalogueFolder, AnEmptyOrMissingFolderLeavesTheBuiltInEntry) {
  for (const fs::path& folder : {folder_, folder_ / "missing"}) {
    InstrumentCatalogue c;
    c.LoadFolder(folder);
    EXPECT_TRUE(c.empty());
    c.AddBuiltInWhenEmpty();
    EXPECT_EQ(Pairs(c), std::vector<std::string>{"ZR-40/ZR40A12"});
  }
}

// Start-up with no description file: the built-in entry, from which a new
// converter object takes its loop instrument.
TEST_F(CatalogueFolder, LoadCatalogueFillsTheCatalogue) {
  ClearCatalogue();
  LoadCatalogue(folder_);
  ASSERT_EQ(Catalogue().size(), 1u);
  EXPECT_TRUE(HasDescription("ZR-40", "ZR40A12"));

  ConverterSettings settings;
  const PortSettings& loop = settings.LoopSet();
  EXPECT_EQ(loop.devtype, "ZR-40");
  EXPECT_EQ(loop.fwver, "ZR40A12");
  EXPECT_EQ(loop.baud, 9600);
  EXPECT_EQ(loop.bytesize, 8);
  EXPECT_EQ(loop.parity, 0);
  EXPECT_EQ(loop.stopbits, 2);
  EXPECT_EQ(loop.delay, 1);
  ClearCatalogue();
}

TEST(CatalogueProcess, FirstDescriptionIsNeverMissing) {
  ClearCatalogue();
  EXPECT_EQ(FirstDescription().name, "ZR-40");
  EXPECT_EQ(FirstDescription().defstopbits, 2);
  EXPECT_FALSE(HasDescription("ZR-40", "ZR40A12"));

  Catalogue().LoadText(Doc(Device("defbaud='4800' defbytesize='7' defparity='1' defstopbits='2'", Version("1"))));
  EXPECT_EQ(FirstDescription().version, "1");
  EXPECT_TRUE(HasDescription("D", "1"));
  int32_t baud = 0, bytesize = 0, parity = 0, stopbits = 0;
  EXPECT_TRUE(DescriptionDefaults("D", "1", baud, bytesize, parity, stopbits));
  EXPECT_EQ(baud, 4800);
  EXPECT_EQ(bytesize, 7);
  EXPECT_EQ(parity, 1);
  EXPECT_EQ(stopbits, 2);
  EXPECT_FALSE(DescriptionDefaults("D", "2", baud, bytesize, parity, stopbits));
  ClearCatalogue();
  EXPECT_TRUE(Catalogue().empty());
  EXPECT_EQ(FindDescription("D", "1"), nullptr);
}

// The description files shipped beside the program (the build copies them next to
// this test program too).
TEST(CatalogueProcess, ShippedDescriptionFiles) {
  InstrumentCatalogue c;
  c.LoadFolder(ProgramFolder());
  ASSERT_GE(c.size(), 9u);
  const DeviceDescription& first = *c.entries()[0];
  EXPECT_EQ(first.name, "ZR-40");
  EXPECT_EQ(first.version, "ZR40A12");
  EXPECT_EQ(first.defbaud, 9600);
  EXPECT_EQ(first.defstopbits, 2);
  const DeviceDescription* a15 = c.Find("ZR-40", "ZR40A15");
  ASSERT_NE(a15, nullptr);
  EXPECT_EQ(a15->description, Utf8ToCp1251("ZR-40, версия A15 с чётностью (ZR40A15.HEX)"));
  EXPECT_EQ(a15->defparity, 2);
  const DeviceDescription* tm = c.Find("TM-12", "TM12V1");
  ASSERT_NE(tm, nullptr);
  EXPECT_EQ(tm->description, Utf8ToCp1251("Термометр TM-12, исполнение 1 (TM12V1.HEX)"));
  EXPECT_EQ(tm->validbauds, (std::vector<int32_t>{1200, 2400}));
  EXPECT_EQ(tm->minpolls, (std::vector<int32_t>{8, 4, 2}));
  EXPECT_EQ(tm->defbaud, 2400);
  EXPECT_EQ(tm->defbytesize, 7);
  EXPECT_EQ(tm->defparity, 2);
  EXPECT_EQ(PollIndexForBaud(*tm, 2400), 4);
  const DeviceDescription* north = c.Find("TM-16", "TM16C1");
  ASSERT_NE(north, nullptr);
  EXPECT_EQ(north->description, Utf8ToCp1251("Термометр TM-16 «Север», 4800–19200 бод"));
}

}  // namespace
