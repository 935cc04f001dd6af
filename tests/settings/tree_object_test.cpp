// The configuration tree on a store in memory: layout of a saved tree, loading
// with its fallbacks and automatic names, copying.
#include <memory>

#include "common/code_pages.h"
#include "tree_support.h"

namespace {

const std::string kLoc = "reg::SOFTWARE\\RAVIK\\KV4T-Config";
const std::string kRootKey = "SOFTWARE\\RAVIK\\KV4T-Config\\configuration";

using TreeTest = MemoryStoreTest;

TEST_F(TreeTest, EmptyStoreGivesDefaultRootAndSavesItsLayout) {
  std::unique_ptr<ConfigObject> root(LoadTree(kLoc));
  EXPECT_EQ(root->name, "noname");
  EXPECT_EQ(root->type, "object");
  EXPECT_TRUE(root->Children().empty());

  EXPECT_TRUE(SaveTree(root.get(), kLoc));
  EXPECT_EQ(ValueNames(kRootKey),
            (std::vector<std::string>{"type", "name", "lastCh", "lastGr", "ro", "description",
                                      "objId", "chCnt"}));
  struct Expect {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> data;
  } expected[] = {
      {"type", kRegSz, Utf16Data(u"object")},
      {"name", kRegSz, Utf16Data(u"noname")},
      {"lastCh", kRegDword, DwordData(0)},
      {"lastGr", kRegDword, DwordData(0)},
      {"ro", kRegDword, DwordData(0)},
      {"description", kRegSz, {}},
      {"objId", kRegSz, Utf16Data(u"00000000-0000-0000-0000-000000000000")},
      {"chCnt", kRegDword, DwordData(0)},
  };
  for (const Expect& e : expected) {
    FileStore::Value v = Raw(kRootKey, e.name);
    EXPECT_EQ(v.type, e.type) << e.name;
    EXPECT_EQ(v.data, e.data) << e.name;  // no terminating zero
  }
}

TEST_F(TreeTest, SavedTreeLoadsBackWithChildrenInOrder) {
  ConfigObject root;
  root.description = Utf8ToCp1251("Описание");  // Windows-1251 in the program
  root.lastCh = 7;
  root.ro = -1;
  GuidFromText("0123abcd-4567-89ef-0123-456789abcdef", root.objId);
  root.AddChild(MakeItem("first"));
  root.AddChild(new ScratchObject());  // not stored, not counted
  root.AddChild(MakeItem("second"));
  root.Children()[2]->AddChild(new GroupObject());
  SaveTree(&root, kLoc);

  EXPECT_EQ(Raw(kRootKey, "chCnt").data, DwordData(2));
  EXPECT_EQ(Raw(kRootKey + "\\1", "name").data, Utf16Data(u"second"));
  // Text is stored as UTF-16 converted from Windows-1251.
  EXPECT_EQ(Raw(kRootKey, "description").data, Utf16Data(u"Описание"));

  std::unique_ptr<ConfigObject> back(LoadTree(kLoc));
  EXPECT_EQ(back->description, root.description);
  EXPECT_EQ(back->lastCh, 7u);
  EXPECT_EQ(back->ro, -1);
  EXPECT_EQ(back->objId, root.objId);
  ASSERT_EQ(back->Children().size(), 2u);
  EXPECT_EQ(back->Children()[0]->name, "first");
  EXPECT_EQ(back->Children()[1]->name, "second");
  EXPECT_EQ(back->Children()[1]->Parent(), back.get());
  ASSERT_EQ(back->Children()[1]->Children().size(), 1u);
  EXPECT_TRUE(back->Children()[1]->Children()[0]->IsGroup());
}

TEST_F(TreeTest, SaveTreeLeavesNoStaleChildrenOrValues) {
  ConfigObject root;
  root.AddChild(MakeItem("a"));
  root.AddChild(MakeItem("b"));
  SaveTree(&root, kLoc);
  PutText(kRootKey, "stale", u"x");
  delete root.Children()[1];
  SaveTree(&root, kLoc);
  EXPECT_FALSE(store.KeyExists(U16(kRootKey + "\\1")));
  FileStore::Value v;
  EXPECT_FALSE(store.GetValue(U16(kRootKey), u"stale", v));
}

// Names of stored children, the expected names after loading, and the parent's
// counter afterwards.
struct NameCase {
  const char* what;
  std::vector<std::u16string> stored;
  uint32_t lastCh;
  std::vector<std::string> loaded;
  uint32_t lastChAfter;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

class TreeNames : public MemoryStoreTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(TreeNames, UnavailableNamesBecomeAutomatic) {
  const NameCase& c = GetParam();
  PutText(kRootKey, "name", u"root");
  PutNumber(kRootKey, "lastCh", c.lastCh);
  PutNumber(kRootKey, "chCnt", static_cast<uint32_t>(c.stored.size()));
  for (size_t i = 0; i < c.stored.size(); ++i) {
    std::string key = kRootKey + "\\" + std::to_string(i);
    PutText(key, "type", u"item");
    PutText(key, "name", c.stored[i]);
  }
  std::unique_ptr<ConfigObject> root(LoadTree(kLoc));
  std::vector<std::string> names;
  for (ConfigObject* child : root->Children()) names.push_back(child->name);
  EXPECT_EQ(names, c.loaded);
  EXPECT_EQ(root->lastCh, c.lastChAfter);
  SaveTree(root.get(), kLoc);
  EXPECT_EQ(Raw(kRootKey, "lastCh").data, DwordData(c.lastChAfter));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TreeNames,
    ::testing::Values(
        NameCase{"duplicate", {u"dev", u"dev"}, 0, {"dev", "obj1"}, 1},
        NameCase{"duplicate with counter", {u"dev", u"dev"}, 4, {"dev", "obj5"}, 5},
        NameCase{"number taken", {u"obj1", u"obj1"}, 0, {"obj1", "obj2"}, 2},
        NameCase{"cyrillic", {u"Прибор"}, 0, {"obj1"}, 1},
        NameCase{"space and dot", {u"a b", u"a.b", u"ok-_9"}, 0, {"obj1", "obj2", "ok-_9"}, 2},
        NameCase{"empty", {u""}, 0, {"obj1"}, 1}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& ch : n)
        if (ch == ' ') ch = '_';
      return n;
    });

TEST_F(TreeTest, GroupsAreRenamedWithTheGroupCounter) {
  ConfigObject parent;
  parent.AddChild(MakeItem("group1"));
  EXPECT_EQ(parent.NextGroupName(), "group2");
  EXPECT_EQ(parent.lastGr, 2u);
  parent.childNameFormat = "dev%03u";
  EXPECT_EQ(parent.NextChildName(), "dev001");
  parent.childNameFormat.clear();
  EXPECT_EQ(parent.NextChildName(), "");
  // A pattern that can never give a free name gives up instead of counting forever.
  parent.childNameFormat = "group1";
  EXPECT_EQ(parent.NextChildName(), "");
  parent.childNameFormat = "bad name %u";
  EXPECT_EQ(parent.NextChildName(), "");
  parent.childNameFormat = "x%s%n%u";
  EXPECT_EQ(parent.NextChildName(), "");  // "%s" and "%n" are copied, never expanded
}

TEST_F(TreeTest, BrokenChildrenAreLeftOut) {
  PutText(kRootKey, "name", u"root");
  PutNumber(kRootKey, "chCnt", 6);
  PutText(kRootKey + "\\0", "name", u"untyped");                          // no "type"
  PutText(kRootKey + "\\1", "type", u"printer");                          // unknown type
  PutText(kRootKey + "\\1", "name", u"p");
  PutText(kRootKey + "\\2", "type", u"item");                             // no "name"
  PutText(kRootKey + "\\3", "type", u"item");
  PutText(kRootKey + "\\3", "name", u"kept");
  PutText(kRootKey + "\\03", "type", u"item");                            // not a position
  PutText(kRootKey + "\\03", "name", u"leading-zero");
  PutText(kRootKey + "\\9", "type", u"item");                             // beyond chCnt
  PutText(kRootKey + "\\9", "name", u"beyond");
  std::unique_ptr<ConfigObject> root(LoadTree(kLoc));
  ASSERT_EQ(root->Children().size(), 1u);
  EXPECT_EQ(root->Children()[0]->name, "kept");
}

TEST_F(TreeTest, HugeChildCountOnlyVisitsStoredChildren) {
  PutText(kRootKey, "name", u"root");
  PutNumber(kRootKey, "chCnt", 0xFFFFFFFFu);
  PutText(kRootKey + "\\4000000000", "type", u"item");
  PutText(kRootKey + "\\4000000000", "name", u"far");
  // Visiting every number up to the count would not end within the test's time-out.
  std::unique_ptr<ConfigObject> root(LoadTree(kLoc));
  ASSERT_EQ(root->Children().size(), 1u);
  EXPECT_EQ(root->Children()[0]->name, "far");
}

// Values of the wrong type or size: texts take the data as UTF-16 whatever the
// type; numbers take up to 4 bytes into a zeroed buffer and refuse longer data.
TEST_F(TreeTest, ValuesOfTheWrongTypeOrSize) {
  struct Case {
    const char* what;
    const char* value;
    uint32_t type;
    std::vector<uint8_t> data;
    const char* expectName;  // after load
    uint32_t expectLastCh;
    const char* expectDescription;
  } cases[] = {
      {"number as text", "lastCh", kRegSz, Utf16Data(u"12"), "root", 0x320031u, ""},
      {"short number", "lastCh", kRegBinary, {5}, "root", 5, ""},
      {"long number", "lastCh", kRegBinary, {1, 2, 3, 4, 5}, "root", 0, ""},
      {"text as number", "description", kRegDword, DwordData(0x00420041), "root", 0, "AB"},
      {"text with zero", "description", kRegSz, Utf16Data(std::u16string(u"ab\0", 3)), "root", 0,
       "ab"},
      {"odd text", "description", kRegSz, {0x41, 0, 0x42}, "root", 0, "A"},
      {"unmappable text", "description", kRegSz, Utf16Data(u"\u4E2D"), "root", 0, "?"},
  };
  for (const Case& c : cases) {
    store.ParseText("");
    PutText(kRootKey, "name", u"root");
    store.SetValue(U16(kRootKey), U16(c.value), c.type, c.data);
    std::unique_ptr<ConfigObject> root(LoadTree(kLoc));
    EXPECT_EQ(root->name, c.expectName) << c.what;
    EXPECT_EQ(root->lastCh, c.expectLastCh) << c.what;
    EXPECT_EQ(root->description, c.expectDescription) << c.what;
  }
}

TEST_F(TreeTest, ObjectIdentityFromStoredText) {
  struct Case {
    std::u16string stored;
    bool parses;
  } cases[] = {
      {u"0123abcd-4567-89ef-0123-456789abcdef", true},
      {u"0123ABCD-4567-89EF-0123-456789ABCDEF", true},
      {u"{0123abcd-4567-89ef-0123-456789abcdef}", false},
      {u"0123abcd-4567-89ef-0123-456789abcde", false},
      {u"0123abcd+4567-89ef-0123-456789abcdef", false},
      {u"0123abcg-4567-89ef-0123-456789abcdef", false},
      {u"", false},
  };
  for (const Case& c : cases) {
    store.ParseText("");
    PutText(kRootKey, "name", u"root");
    PutText(kRootKey, "objId", c.stored);
    ConfigObject root;
    GuidFromText("ffffffff-ffff-ffff-ffff-ffffffffffff", root.objId);
    root.Load(kLoc + "\\configuration");
    EXPECT_EQ(!root.objId.IsNil(), c.parses) << std::string(c.stored.begin(), c.stored.end());
  }
}

TEST_F(TreeTest, MissingNameStopsLoadingAtOnce) {
  PutNumber(kRootKey, "lastCh", 9);
  ConfigObject o;
  EXPECT_FALSE(o.Load(kLoc + "\\configuration"));
  EXPECT_EQ(o.lastCh, 0u);
  EXPECT_EQ(o.name, "noname");
}

TEST_F(TreeTest, OnlyTheRegSchemeIsStored) {
  struct Case {
    const char* location;
    const char* scheme;
    const char* path;
  } cases[] = {
      {"reg::A\\B", "reg", "A\\B"},
      {"internal::A", "internal", "A"},
      {"A\\B", "", "A\\B"},
      {"reg::x::y", "reg", "x::y"},
      {"::A", "", "A"},
  };
  for (const Case& c : cases) {
    Location loc = SplitLocation(c.location);
    EXPECT_EQ(loc.scheme, c.scheme) << c.location;
    EXPECT_EQ(loc.path, c.path) << c.location;
  }
  ConfigObject root;
  SaveTree(&root, "internal::SOFTWARE");
  SaveTree(&root, "SOFTWARE");
  std::vector<std::u16string> keys;
  store.EnumSubkeys(u"", keys);
  EXPECT_TRUE(keys.empty());
  std::string text;
  EXPECT_FALSE(ReadStoredText("internal::SOFTWARE\\configuration", "name", text));
}

TEST_F(TreeTest, CopyToCopiesChildrenAndClearsIdentityWhenNew) {
  ConfigObject source;
  source.name = "src";
  source.description = "d";
  source.ro = 1;
  source.lastCh = 5;
  GuidFromText("0123abcd-4567-89ef-0123-456789abcdef", source.objId);
  source.AddChild(MakeItem("a"));
  source.AddChild(new GroupObject());
  for (bool asNew : {false, true}) {
    ConfigObject target;
    EXPECT_TRUE(source.CopyTo(&target, asNew));
    EXPECT_EQ(target.name, "src");
    EXPECT_EQ(target.description, "d");
    EXPECT_EQ(target.lastCh, 0u);
    EXPECT_EQ(target.ro, asNew ? 0 : 1);
    EXPECT_EQ(target.objId.IsNil(), asNew);
    ASSERT_EQ(target.Children().size(), 2u);
    EXPECT_EQ(target.Children()[0]->name, "a");
    EXPECT_TRUE(target.Children()[1]->IsGroup());
    EXPECT_EQ(target.Children()[1]->Parent(), &target);
  }
}

TEST_F(TreeTest, DestroyingAChildTakesItOutOfItsParent) {
  ConfigObject root;
  ConfigObject* a = MakeItem("a");
  root.AddChild(a);
  a->AddChild(MakeItem("b"));
  root.AddChild(MakeItem("c"));
  delete a;
  ASSERT_EQ(root.Children().size(), 1u);
  EXPECT_EQ(root.Children()[0]->name, "c");
}

class RefusingObject : public ConfigObject {
public:
  bool AcceptsChildType(const std::string& t) override { return t != "item"; }
};

TEST_F(TreeTest, AddChildRespectsAcceptedTypes) {
  RefusingObject parent;
  std::unique_ptr<ConfigObject> item(MakeItem("a"));
  EXPECT_FALSE(parent.AddChild(item.get()));
  EXPECT_EQ(item->Parent(), nullptr);
  EXPECT_TRUE(parent.AddChild(new GroupObject()));
  EXPECT_EQ(parent.Children().size(), 1u);
}

}  // namespace
