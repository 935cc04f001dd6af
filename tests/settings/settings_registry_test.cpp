// The converter's settings: construction defaults, the stored values with their
// load rules, the save order and the reset operations.

#include <memory>
#include <utility>
#include <vector>

#include "settings_support.h"

namespace {

const std::string kKey = "SOFTWARE\\Test\\dev";
const std::string kLoc = "reg::" + kKey;

// The first test catalogue entry's instrument with its defaults, as a new object's
// loop set holds it.
const PortSettings kTm10Loop = {.devtype = "TM-10", .fwver = "A1", .baud = 4800, .bytesize = 7,
                                .parity = 2, .stopbits = 2, .delay = 6, .changed = true};

TEST_F(SettingsTest, ConstructionDefaults) {
  ConverterSettings d;
  EXPECT_EQ(d.type, "kv4t_device");
  EXPECT_EQ(d.name, "noname");
  EXPECT_EQ(d.LinkSet(), (PortSettings{.port = "COM1", .baud = 9600, .bytesize = 8, .parity = 0,
                                       .stopbits = 0, .address = 16, .alen = 8, .adaptor = 1,
                                       .proto = 0, .delay = 0, .changed = true}));
  EXPECT_EQ(d.Rs485Set(), (PortSettings{.baud = 9600, .bytesize = 8, .parity = 0, .stopbits = 0,
                                        .address = 16, .alen = 8, .adaptor = 0, .proto = 0,
                                        .delay = 2, .changed = true}));
  EXPECT_EQ(d.LoopSet(), kTm10Loop);
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
  EXPECT_EQ(d.LinkSet(), (PortSettings{.port = "COM1", .baud = 9600, .bytesize = 8, .parity = 0,
                                       .stopbits = 0, .address = 16, .alen = 8, .adaptor = 0,
                                       .proto = 0, .delay = 20, .changed = true}));
  EXPECT_EQ(d.Rs485Set(), (PortSettings{.baud = 9600, .bytesize = 8, .parity = 0, .stopbits = 0,
                                        .address = 16, .alen = 8, .proto = 0, .delay = 20,
                                        .changed = true}));
  EXPECT_EQ(d.LoopSet(), kTm10Loop);
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

using P = PortSettings;
constexpr int kLink = ConverterSettings::kLink;
constexpr int kRs485 = ConverterSettings::kRs485;

// One value stored alone in a key that has a name: what each stored number loads
// as in its working set.
struct ValueCase {
  const char* name;
  int set;
  int32_t P::*field;
  std::vector<std::pair<int32_t, int32_t>> loads;  // stored, loaded
};

// An address stored with its address length: both as loaded.
struct AddressCase {
  const char* alenName;
  const char* addressName;
  int set;
  int32_t alen, address;
  int32_t loadedAlen, loadedAddress;
};

TEST_F(SettingsTest, LoadRulesPerValue) {
  const auto load = [this](std::vector<std::pair<const char*, int32_t>> values) {
    store.ParseText("");
    PutText(kKey, "name", u"dev");
    for (auto& [name, value] : values) PutNumber(kKey, name, static_cast<uint32_t>(value));
    auto d = std::make_unique<ConverterSettings>();
    EXPECT_TRUE(d->Load(kLoc));
    return d;
  };

  const ValueCase values[] = {
      {"baud", kLink, &P::baud, {{1200, 9600}, {14401, 9600}, {115200, 115200}}},
      {"bytesize", kLink, &P::bytesize, {{7, 7}, {9, 8}}},
      {"parity", kLink, &P::parity, {{2, 2}, {-1, 0}}},
      {"stopbits", kLink, &P::stopbits, {{1, 0}, {2, 2}}},
      {"adaptor", kLink, &P::adaptor, {{1, 1}, {2, 0}}},
      {"proto", kLink, &P::proto, {{2, 2}, {3, 0}}},
      {"delay", kLink, &P::delay, {{5000, 5000}, {-1, 20}}},
      {"answer_timeout", kLink, &P::delay, {{77, 20}}},  // alone: "delay" is the one read
      {"address", kLink, &P::address, {{-1, 16}, {0, 0}}},
      {"kv8_baud", kRs485, &P::baud, {{57600, 57600}, {0, 9600}}},
      {"kv8_bytesize", kRs485, &P::bytesize, {{7, 7}}},
      {"kv8_parity", kRs485, &P::parity, {{3, 0}}},
      {"kv8_stopbits", kRs485, &P::stopbits, {{2, 2}}},
      {"kv8_proto", kRs485, &P::proto, {{1, 1}}},
      {"kv8_delay", kRs485, &P::delay, {{1000, 1000}, {1001, 20}, {-1, 20}, {0, 0}}},
  };
  for (const ValueCase& c : values) {
    for (auto [stored, loaded] : c.loads) {
      SCOPED_TRACE(testing::Message() << c.name << " " << stored);
      EXPECT_EQ(load({{c.name, stored}})->workingSettings[c.set].*c.field, loaded);
    }
  }

  const AddressCase addresses[] = {
      {"alen", "address", kLink, 11, 2000, 11, 2000},
      {"alen", "address", kLink, 11, 2048, 11, 16},
      {"alen", "address", kLink, 8, 254, 8, 254},
      {"alen", "address", kLink, 8, 255, 8, 16},
      {"alen", "address", kLink, 16, 300, 8, 16},
      {"kv8_alen", "kv8_address", kRs485, 11, 2047, 11, 2047},
      {"kv8_alen", "kv8_address", kRs485, 9, 300, 8, 16},
  };
  for (const AddressCase& c : addresses) {
    SCOPED_TRACE(testing::Message() << c.alenName << " " << c.alen << " " << c.address);
    const auto d = load({{c.alenName, c.alen}, {c.addressName, c.address}});
    EXPECT_EQ(d->workingSettings[c.set].alen, c.loadedAlen);
    EXPECT_EQ(d->workingSettings[c.set].address, c.loadedAddress);
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
    const PortSettings& loop = d.LoopSet();
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
  PortSettings s = {.port = "COM9", .devtype = "x", .baud = 1, .address = 99, .alen = 11,
                    .adaptor = 1, .proto = 2, .delay = 77};
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

  PortSettings loop = {.port = "COM2", .address = 5, .alen = 11, .proto = 1};
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
