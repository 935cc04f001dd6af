// Shared by the configuration tree and settings tests: a store in memory made the
// active one, and a small object factory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "common/code_pages.h"
#include "settings/config_object.h"
#include "settings/file_store.h"

// An object whose class answers IsGroup true.
class GroupObject : public ConfigObject {
public:
  GroupObject() { type = "group"; }
  bool IsGroup() const override { return true; }
};

// An object that is never stored.
class ScratchObject : public ConfigObject {
public:
  ScratchObject() { type = "scratch"; }
  bool IsPersistent() const override { return false; }
};

inline ConfigObject* TestCreate(const std::string& type) {
  if (type == "item") {
    auto* o = new ConfigObject();
    o->type = "item";
    return o;
  }
  if (type == "group") return new GroupObject();
  if (type == "scratch") return new ScratchObject();
  return nullptr;
}

inline void TestDestroy(ConfigObject* o) { delete o; }

// The fields of an object's archive record: name and description (given in UTF-8),
// the two counters, the read-only mark and the identity.
inline void FillRecord(ConfigObject& o, const std::string& name, const std::string& descriptionUtf8,
                       uint32_t lastCh, uint32_t lastGr, int32_t ro, const std::string& id) {
  o.name = name;
  o.description = Utf8ToCp1251(descriptionUtf8);
  o.lastCh = lastCh;
  o.lastGr = lastGr;
  o.ro = ro;
  EXPECT_TRUE(GuidFromText(id, o.objId)) << id;
}

inline void ExpectSameRecord(const ConfigObject& a, const ConfigObject& b) {
  EXPECT_EQ(std::tie(a.name, a.description, a.lastCh, a.lastGr, a.ro),
            std::tie(b.name, b.description, b.lastCh, b.lastGr, b.ro));
  EXPECT_EQ(a.objId, b.objId);
}

inline ConfigObject* MakeItem(const std::string& name) {
  ConfigObject* o = TestCreate("item");
  o->name = name;
  return o;
}

// Every test starts on an empty store of its own.
class MemoryStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetKvStore(&store);
    RegisterObjectFactory(&TestCreate, &TestDestroy);
  }
  void TearDown() override {
    SetKvStore(nullptr);
    RegisterObjectFactory(nullptr, nullptr);
  }

  // The value as stored: its type and raw data.
  FileStore::Value Raw(const std::string& path, const std::string& name) {
    FileStore::Value v;
    EXPECT_TRUE(store.GetValue(U16(path), U16(name), v)) << path << " " << name;
    return v;
  }
  std::vector<std::string> ValueNames(const std::string& path) {
    std::vector<std::u16string> names;
    store.ValueNames(U16(path), names);
    std::vector<std::string> out;
    for (auto& n : names) out.emplace_back(n.begin(), n.end());
    return out;
  }
  static std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
  }
  static std::vector<uint8_t> Utf16Data(const std::u16string& s) {
    std::vector<uint8_t> d;
    for (char16_t c : s) {
      d.push_back(static_cast<uint8_t>(c));
      d.push_back(static_cast<uint8_t>(c >> 8));
    }
    return d;
  }
  static std::vector<uint8_t> DwordData(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
  }
  void PutText(const std::string& path, const std::string& name, const std::u16string& text) {
    store.SetValue(U16(path), U16(name), kRegSz, Utf16Data(text));
  }
  void PutNumber(const std::string& path, const std::string& name, uint32_t v) {
    store.SetValue(U16(path), U16(name), kRegDword, DwordData(v));
  }

  FileStore store;  // in memory
};
