// The converter's settings: construction defaults, the stored values with their
// load rules, the save order and the reset operations.
#include <functional>

#include "settings_support.h"

namespace {

const std::string kKey = "SOFTWARE\\Test\\dev";
const std::string kLoc = "reg::" + kKey;

TEST_F(SettingsTest, ConstructionDefaults) {
  ConverterSettings d;
  EXPECT_EQ(d.type, "kv4t_device");
  EXPECT_EQ(d.name, "noname");

  const PortSettings& link = d.workingSettings[ConverterSettings::kLink];
  EXPECT_EQ(link.port, "COM1");
  EXPECT_EQ(DescribePortSettings(link), "9600 8-n-1");
  EXPECT_EQ(link.address, 16);
  EXPECT_EQ(link.alen, 8);
  EXPECT_EQ(link.adaptor, 1);
  EXPECT_EQ(link.proto, 0);
  EXPECT_EQ(link.delay, 0);
  EXPECT_TRUE(link.changed);

  const PortSettings& rs = d.workingSettings[ConverterSettings::kRs485];
  EXPECT_EQ(DescribePortSettings(rs), "9600 8-n-1");
  EXPECT_EQ(rs.address, 16);
  EXPECT_EQ(rs.adaptor, 0);
  EXPECT_EQ(rs.delay, 2);
  EXPECT_TRUE(rs.changed);

  const PortSettings& loop = d.workingSettings[ConverterSettings::kLoop];
  EXPECT_EQ(loop.devtype, "TM-10");
  EXPECT_EQ(loop.fwver, "A1");
  EXPECT_EQ(DescribePortSettings(loop), "4800 7-e-2");
  EXPECT_EQ(loop.delay, 6);
  EXPECT_EQ(loop.address, 0);
  EXPECT_TRUE(loop.changed);

  for (const PortSettings& s : d.storedSettings) EXPECT_EQ(s, PortSettings{});
}

TEST_F(SettingsTest, BuiltInEntryWhenNoFileGaveOne) {
  ClearCatalogue();
  Catalogue().AddBuiltInWhenEmpty();
  ConverterSettings d;
  const PortSettings& loop = d.workingSettings[ConverterSettings::kLoop];
  EXPECT_EQ(loop.devtype, "ZR-40");
  EXPECT_EQ(loop.fwver, "ZR40A12");
  EXPECT_EQ(DescribePortSettings(loop), "9600 8-n-2");
  EXPECT_EQ(loop.delay, 1);
}

TEST_F(SettingsTest, KeyWithOnlyANameTakesEveryFallback) {
  PutText(kKey, "name", u"dev");
  ConverterSettings d;
  d.workingSettings[ConverterSettings::kLoop].baud = 1;
  ASSERT_TRUE(d.Load(kLoc));
  PortSettings link = d.workingSettings[ConverterSettings::kLink];
  EXPECT_EQ(link.port, "COM1");
  EXPECT_EQ(DescribePortSettings(link), "9600 8-n-1");
  EXPECT_EQ(link.address, 16);
  EXPECT_EQ(link.alen, 8);
  EXPECT_EQ(link.adaptor, 0);
  EXPECT_EQ(link.proto, 0);
  EXPECT_EQ(link.delay, 20);
  PortSettings rs = d.workingSettings[ConverterSettings::kRs485];
  EXPECT_EQ(DescribePortSettings(rs), "9600 8-n-1");
  EXPECT_EQ(rs.address, 16);
  EXPECT_EQ(rs.delay, 20);
  PortSettings loop = d.workingSettings[ConverterSettings::kLoop];
  EXPECT_EQ(loop.devtype, "TM-10");
  EXPECT_EQ(DescribePortSettings(loop), "4800 7-e-2");
  EXPECT_EQ(loop.delay, 6);
  EXPECT_EQ(d.storedSettings[ConverterSettings::kStoredLink], d.workingSettings[ConverterSettings::kLink]);
  EXPECT_EQ(d.storedSettings[ConverterSettings::kStoredLoop], d.workingSettings[ConverterSettings::kLoop]);
  EXPECT_EQ(d.storedSettings[ConverterSettings::kStoredRs485],
            d.workingSettings[ConverterSettings::kRs485]);
}

TEST_F(SettingsTest, NothingIsReadWithoutAName) {
  PutNumber(kKey, "baud", 19200);
  ConverterSettings d;
  EXPECT_FALSE(d.Load(kLoc));
  EXPECT_EQ(d.workingSettings[ConverterSettings::kLink].adaptor, 1);
  EXPECT_EQ(d.storedSettings[ConverterSettings::kStoredLink], PortSettings{});
}

struct ValueCase {
  const char* what;
  std::vector<std::pair<const char*, int32_t>> values;
  std::function<int32_t(const ConverterSettings&)> field;
  int32_t expected;
};

const PortSettings& Link(const ConverterSettings& d) { return d.workingSettings[0]; }
const PortSettings& Rs(const ConverterSettings& d) { return d.workingSettings[1]; }
const PortSettings& Loop(const ConverterSettings& d) { return d.workingSettings[2]; }

TEST_F(SettingsTest, LoadRulesPerValue) {
  const ValueCase cases[] = {
      {"baud 1200", {{"baud", 1200}}, [](auto& d) { return Link(d).baud; }, 9600},
      {"baud 14401", {{"baud", 14401}}, [](auto& d) { return Link(d).baud; }, 9600},
      {"baud 115200", {{"baud", 115200}}, [](auto& d) { return Link(d).baud; }, 115200},
      {"bytesize 7", {{"bytesize", 7}}, [](auto& d) { return Link(d).bytesize; }, 7},
      {"bytesize 9", {{"bytesize", 9}}, [](auto& d) { return Link(d).bytesize; }, 8},
      {"parity 2", {{"parity", 2}}, [](auto& d) { return Link(d).parity; }, 2},
      {"parity -1", {{"parity", -1}}, [](auto& d) { return Link(d).parity; }, 0},
      {"stopbits 1", {{"stopbits", 1}}, [](auto& d) { return Link(d).stopbits; }, 0},
      {"stopbits 2", {{"stopbits", 2}}, [](auto& d) { return Link(d).stopbits; }, 2},
      {"adaptor 1", {{"adaptor", 1}}, [](auto& d) { return Link(d).adaptor; }, 1},
      {"adaptor 2", {{"adaptor", 2}}, [](auto& d) { return Link(d).adaptor; }, 0},
      {"proto 2", {{"proto", 2}}, [](auto& d) { return Link(d).proto; }, 2},
      {"proto 3", {{"proto", 3}}, [](auto& d) { return Link(d).proto; }, 0},
      {"delay 5000", {{"delay", 5000}}, [](auto& d) { return Link(d).delay; }, 5000},
      {"delay -1", {{"delay", -1}}, [](auto& d) { return Link(d).delay; }, 20},
      {"answer_timeout alone", {{"answer_timeout", 77}}, [](auto& d) { return Link(d).delay; }, 20},
      {"alen 11 address 2000", {{"alen", 11}, {"address", 2000}},
       [](auto& d) { return Link(d).address * 100 + Link(d).alen; }, 200011},
      {"alen 11 address 2048", {{"alen", 11}, {"address", 2048}},
       [](auto& d) { return Link(d).address; }, 16},
      {"alen 8 address 254", {{"alen", 8}, {"address", 254}},
       [](auto& d) { return Link(d).address; }, 254},
      {"alen 8 address 255", {{"alen", 8}, {"address", 255}},
       [](auto& d) { return Link(d).address; }, 16},
      {"alen 16 address 300", {{"alen", 16}, {"address", 300}},
       [](auto& d) { return Link(d).address * 100 + Link(d).alen; }, 1608},
      {"address -1", {{"address", -1}}, [](auto& d) { return Link(d).address; }, 16},
      {"address 0", {{"address", 0}}, [](auto& d) { return Link(d).address; }, 0},
      {"kv8_baud 57600", {{"kv8_baud", 57600}}, [](auto& d) { return Rs(d).baud; }, 57600},
      {"kv8_baud 0", {{"kv8_baud", 0}}, [](auto& d) { return Rs(d).baud; }, 9600},
      {"kv8_bytesize 7", {{"kv8_bytesize", 7}}, [](auto& d) { return Rs(d).bytesize; }, 7},
      {"kv8_parity 3", {{"kv8_parity", 3}}, [](auto& d) { return Rs(d).parity; }, 0},
      {"kv8_stopbits 2", {{"kv8_stopbits", 2}}, [](auto& d) { return Rs(d).stopbits; }, 2},
      {"kv8_alen 11 address 2047", {{"kv8_alen", 11}, {"kv8_address", 2047}},
       [](auto& d) { return Rs(d).address; }, 2047},
      {"kv8_alen 9 address 300", {{"kv8_alen", 9}, {"kv8_address", 300}},
       [](auto& d) { return Rs(d).address * 100 + Rs(d).alen; }, 1608},
      {"kv8_proto 1", {{"kv8_proto", 1}}, [](auto& d) { return Rs(d).proto; }, 1},
      {"kv8_delay 1000", {{"kv8_delay", 1000}}, [](auto& d) { return Rs(d).delay; }, 1000},
      {"kv8_delay 1001", {{"kv8_delay", 1001}}, [](auto& d) { return Rs(d).delay; }, 20},
      {"kv8_delay -1", {{"kv8_delay", -1}}, [](auto& d) { return Rs(d).delay; }, 20},
      {"kv8_delay 0", {{"kv8_delay", 0}}, [](auto& d) { return Rs(d).delay; }, 0},
  };
  for (const ValueCase& c : cases) {
    store.ParseText("");
    PutText(kKey, "name", u"dev");
    for (auto& [name, value] : c.values) PutNumber(kKey, name, static_cast<uint32_t>(value));
    ConverterSettings d;
    ASSERT_TRUE(d.Load(kLoc)) << c.what;
    EXPECT_EQ(c.field(d), c.expected) << c.what;
  }
}

// The loop values count only for an instrument the catalogue knows; otherwise the
// first entry's defaults replace the whole loop set.
TEST_F(SettingsTest, LoopRule) {
  struct Case {
    const char* what;
    const char16_t* devtype;  // nullptr: not stored
    const char16_t* fwver;
    std::vector<std::pair<const char*, int32_t>> values;
    const char* devtypeAfter;
    const char* line;
    int32_t poll;
  } cases[] = {
      {"known, stored values", u"TM-20", u"B2",
       {{"kv7_baud", 9600}, {"kv7_bytesize", 7}, {"kv7_parity", 2}, {"kv7_stopbits", 2},
        {"kv7_pollfreq", 50}},
       "TM-20", "9600 7-e-2", 50},
      {"known, bad values take the entry's defaults", u"TM-20", u"B2",
       {{"kv7_baud", 1200}, {"kv7_bytesize", 6}, {"kv7_parity", 5}, {"kv7_stopbits", 1}},
       "TM-20", "19200 8-o-1", 1},
      {"known, negative poll", u"TM-20", u"B2", {{"kv7_pollfreq", -4}}, "TM-20", "19200 8-o-1", 3},
      {"unknown version", u"TM-20", u"B3", {{"kv7_baud", 9600}, {"kv7_pollfreq", 50}}, "TM-10",
       "4800 7-e-2", 6},
      {"version missing", u"TM-20", nullptr, {{"kv7_baud", 9600}}, "TM-10", "4800 7-e-2", 6},
      {"case differs", u"tm-20", u"B2", {{"kv7_baud", 9600}}, "TM-10", "4800 7-e-2", 6},
  };
  for (const Case& c : cases) {
    store.ParseText("");
    PutText(kKey, "name", u"dev");
    if (c.devtype) PutText(kKey, "kv7_devtype", c.devtype);
    if (c.fwver) PutText(kKey, "kv7_fwver", c.fwver);
    for (auto& [name, value] : c.values) PutNumber(kKey, name, static_cast<uint32_t>(value));
    ConverterSettings d;
    d.workingSettings[ConverterSettings::kLoop].address = 42;
    ASSERT_TRUE(d.Load(kLoc)) << c.what;
    const PortSettings& loop = Loop(d);
    EXPECT_EQ(loop.devtype, c.devtypeAfter) << c.what;
    EXPECT_EQ(DescribePortSettings(loop), c.line) << c.what;
    EXPECT_EQ(loop.delay, c.poll) << c.what;
    EXPECT_EQ(loop.address, 42) << c.what;  // not stored
  }
}

TEST_F(SettingsTest, SaveWritesTheStoredSetsInOrder) {
  ConverterSettings d;
  d.name = "dev";
  PortSettings& stored = d.storedSettings[ConverterSettings::kStoredLink];
  stored.port = "COM7";
  stored.delay = 321;
  d.storedSettings[ConverterSettings::kStoredLoop].devtype = "TM-20";
  d.storedSettings[ConverterSettings::kStoredRs485].baud = 38400;
  d.workingSettings[ConverterSettings::kRs485].baud = 2400;  // not saved
  ASSERT_TRUE(d.Save(kLoc));
  EXPECT_EQ(ValueNames(kKey),
            (std::vector<std::string>{
                "port", "baud", "bytesize", "parity", "stopbits", "address", "alen", "adaptor",
                "delay", "proto", "answer_timeout", "kv7_devtype", "kv7_fwver", "kv7_baud",
                "kv7_bytesize", "kv7_parity", "kv7_stopbits", "kv7_pollfreq", "kv8_baud",
                "kv8_bytesize", "kv8_parity", "kv8_stopbits", "kv8_address", "kv8_alen",
                "kv8_proto", "kv8_delay", "type", "name", "lastCh", "lastGr", "ro",
                "description", "objId", "chCnt"}));
  EXPECT_EQ(Raw(kKey, "port").data, Utf16Data(u"COM7"));
  EXPECT_EQ(Raw(kKey, "delay").data, DwordData(321));
  EXPECT_EQ(Raw(kKey, "answer_timeout").data, DwordData(321));
  EXPECT_EQ(Raw(kKey, "kv7_devtype").data, Utf16Data(u"TM-20"));
  EXPECT_EQ(Raw(kKey, "kv8_baud").data, DwordData(38400));
  EXPECT_EQ(Raw(kKey, "type").data, Utf16Data(u"kv4t_device"));
}

TEST_F(SettingsTest, StoredTreeWithADeviceLoadsBack) {
  ConfigObject root;
  auto* d = new ConverterSettings();
  root.AddChild(d);
  d->name = "kv4t";
  d->workingSettings[ConverterSettings::kLink].port = "COM3";
  d->workingSettings[ConverterSettings::kLink].baud = 19200;
  d->workingSettings[ConverterSettings::kRs485].proto = 2;
  d->workingSettings[ConverterSettings::kLoop].devtype = "TM-20";
  d->workingSettings[ConverterSettings::kLoop].fwver = "B2";
  d->workingSettings[ConverterSettings::kLoop].delay = 9;
  d->storedSettings[ConverterSettings::kStoredLink] = d->workingSettings[ConverterSettings::kLink];
  d->storedSettings[ConverterSettings::kStoredRs485] = d->workingSettings[ConverterSettings::kRs485];
  d->storedSettings[ConverterSettings::kStoredLoop] = d->workingSettings[ConverterSettings::kLoop];
  SaveTree(&root, "reg::SOFTWARE\\RAVIK\\KV4T-Config");

  std::unique_ptr<ConfigObject> back(LoadTree("reg::SOFTWARE\\RAVIK\\KV4T-Config"));
  ASSERT_EQ(back->Children().size(), 1u);
  auto* bd = dynamic_cast<ConverterSettings*>(back->Children()[0]);
  ASSERT_NE(bd, nullptr);
  EXPECT_EQ(bd->name, "kv4t");
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(SameValues(bd->workingSettings[i], d->workingSettings[i])) << i;
}

TEST_F(SettingsTest, ResetOperations) {
  ConverterSettings d;
  PortSettings s;
  s.port = "COM9";
  s.devtype = "x";
  s.baud = 1;
  s.address = 99;
  s.alen = 11;
  s.adaptor = 1;
  s.proto = 2;
  s.delay = 77;
  d.ResetPortDefaults(&s);
  EXPECT_EQ(s.port, "COM1");
  EXPECT_EQ(DescribePortSettings(s), "9600 8-n-1");
  EXPECT_EQ(s.address, 16);
  EXPECT_EQ(s.alen, 8);
  EXPECT_EQ(s.adaptor, 1);  // kept
  EXPECT_EQ(s.proto, 0);
  EXPECT_EQ(s.delay, 0);
  EXPECT_EQ(s.devtype, "x");  // kept
  EXPECT_TRUE(s.changed);

  PortSettings loop;
  loop.port = "COM2";
  loop.address = 5;
  loop.alen = 11;
  loop.proto = 1;
  d.ResetLoopDefaults(&loop);
  EXPECT_EQ(loop.devtype, "TM-10");
  EXPECT_EQ(loop.fwver, "A1");
  EXPECT_EQ(DescribePortSettings(loop), "4800 7-e-2");
  EXPECT_EQ(loop.delay, 6);
  EXPECT_EQ(loop.port, "COM2");
  EXPECT_EQ(loop.address, 5);
  EXPECT_EQ(loop.alen, 11);
  EXPECT_EQ(loop.proto, 1);
  EXPECT_TRUE(loop.changed);

  d.workingSettings[ConverterSettings::kLink].baud = 1;
  d.workingSettings[ConverterSettings::kLink].changed = false;
  d.ResetPortDefaults();
  EXPECT_EQ(d.workingSettings[ConverterSettings::kLink].baud, 9600);
  EXPECT_TRUE(d.workingSettings[ConverterSettings::kLink].changed);
}

TEST(PortSettingsText, Describe) {
  struct Case {
    int32_t baud, bytesize, parity, stopbits;
    const char* text;
  } cases[] = {
      {9600, 8, 0, 0, "9600 8-n-1"},   {19200, 7, 2, 2, "19200 7-e-2"},
      {115200, 8, 1, 0, "115200 8-o-1"}, {2400, 8, 3, 1, "2400 8-n-1"},
  };
  for (const Case& c : cases) {
    PortSettings s;
    s.baud = c.baud;
    s.bytesize = c.bytesize;
    s.parity = c.parity;
    s.stopbits = c.stopbits;
    EXPECT_EQ(DescribePortSettings(s), c.text);
  }
}

}  // namespace
