// The archive of a configuration file: its strings, an object's record and the
// children's records.
#include <algorithm>

#include "settings/archive.h"
#include "tree_support.h"

namespace {

using TreeTest = MemoryStoreTest;

std::vector<uint8_t> Stored(const std::string& text) {
  Archive ar;
  ar.WriteString(text);
  return ar.Data();
}

TEST(ArchiveString, LengthPrefixForms) {
  struct Case {
    size_t length;
    std::vector<uint8_t> prefix;
  } cases[] = {
      {0, {0xFF, 0xFE, 0xFF, 0x00}},
      {8, {0xFF, 0xFE, 0xFF, 0x08}},
      {254, {0xFF, 0xFE, 0xFF, 0xFE}},
      {255, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
      {0xFFFD, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
      {0xFFFE, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
      {0x10000, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}},
  };
  for (const Case& c : cases) {
    std::string text(c.length, 'x');
    std::vector<uint8_t> data = Stored(text);
    ASSERT_EQ(data.size(), c.prefix.size() + 2 * c.length) << c.length;
    EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), data.begin())) << c.length;
    Archive in(data.data(), data.size());
    std::string back;
    EXPECT_TRUE(in.ReadString(back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(in.Position(), data.size());
  }
}

TEST(ArchiveString, CyrillicIsUtf16OnDisk) {
  std::vector<uint8_t> data = Stored("\xCF\xF0\xE8");  // "При" in Windows-1251
  EXPECT_EQ(data, (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 3, 0x1F, 0x04, 0x40, 0x04, 0x38, 0x04}));
}

TEST(ArchiveString, ReaderCases) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    bool ok;
    std::string text;
  } cases[] = {
      {"8-bit", {3, 'a', 0xE0, 'c'}, true, "a\xE0" "c"},
      {"8-bit 16-bit length", {0xFF, 2, 0, 'h', 'i'}, true, "hi"},
      {"8-bit 32-bit length", {0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 'z'}, true, "z"},
      {"tagged 16-bit length", {0xFF, 0xFE, 0xFF, 0xFF, 1, 0, 'q', 0}, true, "q"},
      {"empty data", {}, false, ""},
      {"cut in the prefix", {0xFF, 0xFE}, false, ""},
      {"cut in the text", {0xFF, 0xFE, 0xFF, 2, 'a', 0, 'b'}, false, ""},
      {"absurd 32-bit length", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0},
       false, ""},
      {"absurd 8-bit length", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false, ""},
  };
  for (const Case& c : cases) {
    Archive in(c.data.data(), c.data.size());
    std::string text = "junk";
    EXPECT_EQ(in.ReadString(text), c.ok) << c.what;
    EXPECT_EQ(text, c.text) << c.what;
    EXPECT_EQ(in.Failed(), !c.ok) << c.what;
  }
}

TEST(ArchiveRecord, VersionDecidesWhatIsRead) {
  struct Case {
    int32_t version;
    bool description;
    bool identity;
  } cases[] = {{1000, false, false}, {1001, true, false}, {1002, true, true}};
  for (const Case& c : cases) {
    Archive out;
    out.WriteInt32(c.version);
    out.WriteString("n");
    out.WriteUInt32(3);
    out.WriteUInt32(4);
    out.WriteInt32(1);
    if (c.description) out.WriteString("desc");
    if (c.identity) {
      out.WriteByte(1);
      out.WriteString("0123abcd-4567-89ef-0123-456789abcdef");
    }
    ConfigObject o;
    o.description = "kept";
    Archive in(out.Data().data(), out.Data().size());
    EXPECT_TRUE(o.Serialize(in)) << c.version;
    EXPECT_EQ(in.Position(), out.Data().size()) << c.version;
    EXPECT_EQ(o.formatVersion, c.version);
    EXPECT_EQ(o.name, "n");
    EXPECT_EQ(o.lastGr, 4u);
    EXPECT_EQ(o.description, c.description ? "desc" : "kept");
    EXPECT_EQ(o.objId.IsNil(), !c.identity);
  }
}

TEST(ArchiveRecord, WrittenRecordReadsBackWhole) {
  ConfigObject o;
  FillRecord(o, "dev", "Прибор", 1, 2, 3, "0123abcd-4567-89ef-0123-456789abcdef");
  Archive out;
  o.Serialize(out);
  ConfigObject back;
  Archive in(out.Data().data(), out.Data().size());
  EXPECT_TRUE(back.Serialize(in));
  EXPECT_GT(back.formatVersion, 1001);
  ExpectSameRecord(back, o);
  // Every cut of the record fails cleanly.
  for (size_t cut = 0; cut < out.Data().size(); ++cut) {
    ConfigObject part;
    Archive short_in(out.Data().data(), cut);
    EXPECT_FALSE(part.Serialize(short_in)) << cut;
  }
}

TEST_F(TreeTest, SerializeChildrenRoundTripAndFailures) {
  ConfigObject root;
  root.AddChild(MakeItem("a"));
  root.AddChild(new ScratchObject());
  root.AddChild(MakeItem("a"));  // same name: renamed on the way back
  Archive out;
  EXPECT_TRUE(root.SerializeChildren(out));

  ConfigObject back;
  Archive in(out.Data().data(), out.Data().size());
  EXPECT_TRUE(back.SerializeChildren(in));
  ASSERT_EQ(back.Children().size(), 2u);
  EXPECT_EQ(back.Children()[0]->name, "a");
  EXPECT_EQ(back.Children()[1]->name, "obj1");

  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    bool ok;
  } cases[] = {
      {"wrong tag", Stored("child"), false},
      {"no children", [] {
         Archive a;
         a.WriteString("childs");
         a.WriteInt32(-5);
         return a.Data();
       }(), true},
      {"unknown type", [] {
         Archive a;
         a.WriteString("childs");
         a.WriteInt32(1);
         a.WriteString("printer");
         return a.Data();
       }(), false},
      {"count beyond the data", [] {
         Archive a;
         a.WriteString("childs");
         a.WriteInt32(0x7FFFFFFF);
         a.WriteString("item");
         return a.Data();
       }(), false},
  };
  for (const Case& c : cases) {
    ConfigObject o;
    Archive a(c.data.data(), c.data.size());
    EXPECT_EQ(o.SerializeChildren(a), c.ok) << c.what;
    EXPECT_TRUE(o.Children().empty()) << c.what;
  }
}

}  // namespace
