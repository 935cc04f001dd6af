// The command line through Pargo's exported functions: the link settings it
// presets, the window values, the recorded keywords, the silent state and the
// file mode.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>

#include "app/command_line.h"
#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "pargo/pargo.h"
#include "settings/converter_settings.h"
#include "tests/app/startup_support.h"

namespace {

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    Catalogue().AddBuiltInWhenEmpty();
    device = std::make_unique<ConverterSettings>();
  }

  // The line as a program hands it to Pargo (UTF-8 here, Windows-1251 there).
  void Apply(const std::string& utf8, bool withDevice = true) {
    PRGO_SetArguments(Utf8ToCp1251(utf8).c_str());
    ApplyCommandLine(withDevice ? device.get() : nullptr, options);
  }

  std::unique_ptr<ConverterSettings> device;
  CommandLineOptions options;
};

struct LinkCase {
  const char* label;
  const char* line;
  std::function<void(PortSettings&)> expect;  // applied to the defaults
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.label; }

class LinkSettings : public CommandLine, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkSettings, GoIntoTheWorkingLinkSetOnly) {
  const PortSettings before = device->LinkSet();
  const PortSettings storedBefore = device->StoredLinkSet();
  Apply(GetParam().line);
  PortSettings expected = before;
  GetParam().expect(expected);
  EXPECT_EQ(device->LinkSet(), expected);
  EXPECT_EQ(device->StoredLinkSet(), storedBefore);
  EXPECT_EQ(device->Rs485Set().baud, 9600);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LinkSettings,
    ::testing::Values(
        LinkCase{"StopBits", "/sbit:2", [](PortSettings& s) { s.stopbits = 2; }},
        LinkCase{"WordLength", "/len:7", [](PortSettings& s) { s.bytesize = 7; }},
        LinkCase{"Port", "/port:3", [](PortSettings& s) { s.port = "COM3"; }},
        LinkCase{"NegativePort", "/port:-1", [](PortSettings&) {}},
        LinkCase{"HexPort", "/PORT:0x10", [](PortSettings& s) { s.port = "COM16"; }},
        LinkCase{"LineSettings", "/bps:19200 /prty:even /addr:020 /alen:11 /rs485:off",
                 [](PortSettings& s) {
                   s.baud = 19200;
                   s.parity = 2;
                   s.address = 16;
                   s.alen = 11;
                   s.adaptor = 0;
                 }},
        // "auto" is -1 to the library: the adaptor stays as it was. One and a half
        // stop bits (1) is taken as given; the channel refuses it when it is used.
        LinkCase{"Words", "/rs485:auto /sbit:1.5 /prty:odd",
                 [](PortSettings& s) {
                   s.stopbits = 1;
                   s.parity = 1;
                 }},
        LinkCase{"FirstOfTwo", "/port:2/port:9", [](PortSettings& s) { s.port = "COM2"; }},
        LinkCase{"NoLinkKeys", "settings.kv4tcfg /x:5", [](PortSettings&) {}}),
    ByLabel());

TEST_F(CommandLine, WithoutADeviceNothingOfTheLinkIsApplied) {
  Apply("/port:3 /len:7 /x:4", false);
  EXPECT_EQ(options.x, 4);
  EXPECT_EQ(device->LinkSet().port, "COM1");
}

struct OptionsCase {
  const char* label;
  const char* line;
  bool withDevice;
  unsigned flags;
  int operation;
  bool silent;
  const char* file;  // UTF-8
};

void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.label; }

class Recorded : public CommandLine, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(Recorded, FlagsOperationAndFile) {
  const OptionsCase& c = GetParam();
  Apply(c.line, c.withDevice);
  EXPECT_EQ(options.flags, c.flags);
  EXPECT_EQ(options.operation, c.operation);
  EXPECT_EQ(options.Silent(), c.silent);
  EXPECT_EQ(options.FileMode(), (c.flags & CommandLineOptions::kFileMode) != 0);
  EXPECT_EQ(Cp1251ToUtf8(options.filePath), c.file);
}

using O = CommandLineOptions;
INSTANTIATE_TEST_SUITE_P(
    Keys, Recorded,
    ::testing::Values(
        OptionsCase{"Nothing", "", true, 0, O::kOperationNone, false, ""},
        OptionsCase{"ReadAndWrite", "/read /write", true, 0, O::kOperationRead, false, ""},
        OptionsCase{"Write", "/write", true, 0, O::kOperationWrite, false, ""},
        OptionsCase{"Inert", "/close /newnetparam /aply", true,
                    O::kClose | O::kNewNetParam | O::kAply, O::kOperationNone, false, ""},
        // "silent" alone silences nothing.
        OptionsCase{"SilentAlone", "/silent", true, O::kSilent, O::kOperationNone, false, ""},
        OptionsCase{"SilentWithFile", "/silent \"C:\\Мои настройки\\kv4t.cfg\"", true,
                    O::kSilent | O::kFileMode, O::kOperationNone, true,
                    "C:\\Мои настройки\\kv4t.cfg"},
        OptionsCase{"FirstFile", "first.cfg second.cfg", true, O::kFileMode, O::kOperationNone,
                    false, "first.cfg"},
        // Without a device an operation keyword stops the recording before "silent"
        // and the file mode; the path itself is kept.
        OptionsCase{"NoDeviceRead", "/read /silent x.cfg", false, 0, O::kOperationRead, false,
                    "x.cfg"},
        OptionsCase{"NoDeviceAply", "/aply /silent x.cfg", false, O::kAply, O::kOperationNone,
                    false, "x.cfg"},
        OptionsCase{"NoDeviceSilent", "/silent x.cfg", false, O::kSilent | O::kFileMode,
                    O::kOperationNone, true, "x.cfg"}),
    ByLabel());

TEST_F(CommandLine, WindowValuesOnlyWhereGiven) {
  Apply("/x:10 /y:20 /w:0 /h:0");
  EXPECT_EQ(std::make_tuple(options.x, options.y, options.w, options.h),
            std::make_tuple(10, 20, 0, 0));
  CommandLineOptions other;
  PRGO_SetArguments("/y:5");
  ApplyCommandLine(device.get(), other);
  EXPECT_EQ(std::make_tuple(other.x, other.y, other.w, other.h), std::make_tuple(-1, 5, -1, -1));
}

}  // namespace
