// The catalogue the settings tests run with, and a fixture that loads it and makes
// the tree create the converter's settings object for "kv4t_device".
#pragma once

#include "catalogue/catalogue.h"
#include "settings/converter_settings.h"
#include "tree_support.h"

inline ConfigObject* CreateSettingsObject(const std::string& type) {
  if (type == ConverterSettings::kType) return new ConverterSettings();
  return nullptr;
}

inline void DestroySettingsObject(ConfigObject* object) { delete object; }

// First entry TM-10 / A1: 4800 baud, 7 data bits, even parity, two stop bits and a
// poll value of 6 at 4800 baud. Second entry TM-20 / B2: 19200 baud, odd parity.
inline const char kTestCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<KV4T>\n"
    " <device name=\"TM-10\" description=\"x\" validbauds=\"2400,4800,9600\" defbaud=\"4800\"\n"
    "   defbytesize=\"7\" defparity=\"2\" defstopbits=\"2\" pollmin=\"3\" pollmax=\"100\"\n"
    "   minpolls=\"5,6,7\">\n"
    "  <version name=\"A1\" description=\"TM-10 A1\"/>\n"
    " </device>\n"
    " <device name=\"TM-20\" description=\"y\" validbauds=\"19200\" defbaud=\"19200\">\n"
    "  <version name=\"B2\" description=\"TM-20 B2\" defparity=\"1\"/>\n"
    " </device>\n"
    "</KV4T>\n";

class SettingsTest : public MemoryStoreTest {
protected:
  void SetUp() override {
    MemoryStoreTest::SetUp();
    RegisterObjectFactory(&CreateSettingsObject, &DestroySettingsObject);
    ClearCatalogue();
    Catalogue().LoadText(kTestCatalogue);
    ASSERT_EQ(Catalogue().size(), 2u);
  }
  void TearDown() override {
    ClearCatalogue();
    MemoryStoreTest::TearDown();
  }
};

// The fields a test compares, `changed` left out.
inline bool SameValues(const PortSettings& a, const PortSettings& b) {
  PortSettings x = a, y = b;
  x.changed = y.changed = false;
  return x == y;
}
