// The configurator's run from its command line to its exit: the default object of
// a first start, what reaches the window, where the settings are saved and which
// of them (the registry keeps what the converter accepted, a configuration file
// what the pages hold), the silent state, and a tree without a converter object.
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "common/code_pages.h"
#include "settings/archive.h"
#include "tests/app/startup_support.h"

namespace {

const char kFile[] = "device.kv4tcfg";
// Natively no ports folder entry names it; under Wine the prefix has no such port.
const wchar_t kUnreachable[] = L"/port:250";
const char kCannotUsePort[] = "Невозможно использовать порт \"COM250\".";

using Startup = StartupTest;

TEST_F(Startup, FirstStartSavesTheDefaultsTheWindowShowed) {
  EXPECT_EQ(Start(L""), 0);
  ASSERT_EQ(window.runs, 1);
  const ScriptedWindow::Seen first = window.seen;
  ConverterSettings fresh;
  EXPECT_TRUE(SameValues(first.link, fresh.LinkSet()));
  EXPECT_TRUE(SameValues(first.rs485, fresh.Rs485Set()));

  EXPECT_EQ(StoredInt("chCnt", std::string(kConfigLocation) + "\\configuration"), 1);
  EXPECT_EQ(StoredText("type"), "kv4t_device");
  EXPECT_EQ(StoredText("port"), "COM1");
  EXPECT_EQ(StoredInt("baud"), 9600);
  EXPECT_EQ(StoredInt("address"), 16);
  EXPECT_EQ(StoredInt("kv8_address"), 16);
  EXPECT_EQ(StoredText("kv7_devtype"), first.loop.devtype);

  // The next start finds what the first one showed.
  EXPECT_EQ(Start(L""), 0);
  EXPECT_TRUE(SameValues(window.seen.link, first.link));
  EXPECT_TRUE(SameValues(window.seen.rs485, first.rs485));
  EXPECT_TRUE(SameValues(window.seen.loop, first.loop));
  EXPECT_TRUE(notices.boxes.empty());
}

TEST_F(Startup, TheWindowGetsWhatTheCommandLineAskedFor) {
  EXPECT_EQ(Start(L"/x:10 /y:20 /w:0 /h:0 /write /read /close /aply"), 0);
  EXPECT_EQ(std::make_tuple(window.seen.x, window.seen.y, window.seen.w, window.seen.h),
            std::make_tuple(10, 20, 0, 0));
  EXPECT_EQ(window.seen.operation, CommandLineOptions::kOperationRead);
  EXPECT_EQ(window.seen.flags, CommandLineOptions::kClose | CommandLineOptions::kAply);
}

TEST_F(Startup, RegistryModeKeepsOnlyWhatTheConverterAccepted) {
  bool applied = true;
  window.steps = {ScriptedWindow::EditRs485([](PortSettings& s) { s.baud = 38400; }),
                  ScriptedWindow::ApplyRs485(&applied)};
  EXPECT_EQ(Start(std::wstring(kUnreachable) + L" /bps:19200 /sbit:2 /len:7"), 0);
  EXPECT_EQ(window.seen.link.port, "COM250");
  EXPECT_EQ(window.seen.link.baud, 19200);
  EXPECT_EQ(window.seen.link.stopbits, 2);
  EXPECT_EQ(window.seen.link.bytesize, 7);
  EXPECT_EQ(window.seen.storedLink.port, "COM1");
  EXPECT_FALSE(applied);
  ASSERT_EQ(notices.boxes.size(), 1u);
  EXPECT_EQ(notices.boxes[0].text, kCannotUsePort);
  EXPECT_EQ(notices.boxes[0].caption, "Ошибка");

  EXPECT_EQ(StoredText("port"), "COM1");
  EXPECT_EQ(StoredInt("baud"), 9600);
  EXPECT_EQ(StoredInt("stopbits"), 0);
  EXPECT_EQ(StoredInt("kv8_baud"), 9600);
}

TEST_F(Startup, FileModeSavesTheWorkingSetsAndLeavesTheRegistry) {
  window.steps = {ScriptedWindow::EditRs485([](PortSettings& s) { s.baud = 38400; }),
                  ScriptedWindow::ApplyRs485()};
  EXPECT_EQ(Start(std::wstring(kUnreachable) + L" /sbit:2 device.kv4tcfg"), 0);
  std::unique_ptr<ConverterSettings> saved = ReadConfigFile(kFile);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->LinkSet().port, "COM250");
  EXPECT_EQ(saved->LinkSet().stopbits, 2);
  EXPECT_EQ(saved->Rs485Set().baud, 38400);
  EXPECT_FALSE(store.KeyExists(u"SOFTWARE\\RAVIK\\KV4T-Config"));
}

TEST_F(Startup, TheCommandLineWinsOverTheFile) {
  ConverterSettings before;
  before.LinkSet().port = "COM9";
  before.LinkSet().baud = 4800;
  before.Rs485Set().address = 33;
  ASSERT_EQ(before.SaveConfigFile(kFile), kConfigFileOk);

  EXPECT_EQ(Start(L"/port:4 device.kv4tcfg"), 0);
  EXPECT_EQ(window.seen.link.port, "COM4");
  EXPECT_EQ(window.seen.link.baud, 4800);
  EXPECT_EQ(window.seen.rs485.address, 33);
  std::unique_ptr<ConverterSettings> saved = ReadConfigFile(kFile);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->LinkSet().port, "COM4");
  EXPECT_EQ(saved->LinkSet().baud, 4800);
}

// A configuration file that cannot be used: the run goes on with the registry's
// settings and the command line, and the file is replaced at exit.
struct FileCase {
  const char* label;
  std::vector<uint8_t> bytes;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.label; }

class UnusableFile : public StartupTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(UnusableFile, IsIgnoredAndReplacedAtExit) {
  {
    auto root = std::make_unique<ConfigObject>();
    auto* device = new ConverterSettings();
    device->name = "obj1";
    device->StoredLinkSet().port = "COM7";
    ASSERT_TRUE(root->AddChild(device));
    SaveTree(root.get(), kConfigLocation);
  }
  WriteBytes(kFile, GetParam().bytes);

  EXPECT_EQ(Start(L"/bps:19200 device.kv4tcfg"), 0);
  EXPECT_EQ(window.seen.link.port, "COM7");
  EXPECT_EQ(window.seen.link.baud, 19200);
  std::unique_ptr<ConverterSettings> saved = ReadConfigFile(kFile);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->LinkSet().port, "COM7");
  EXPECT_EQ(saved->LinkSet().baud, 19200);
}

std::vector<uint8_t> Signed(const char* signature) {
  Archive ar;
  ar.WriteString(signature);
  std::vector<uint8_t> data = ar.Data();
  data.resize(data.size() + 200, 0x41);
  return data;
}

std::vector<uint8_t> CutShort() {
  ConverterSettings settings;
  Archive ar;
  ar.WriteString("KV4TCFG1");
  settings.Serialize(ar);
  std::vector<uint8_t> data = ar.Data();
  data.resize(40);
  return data;
}

INSTANTIATE_TEST_SUITE_P(Contents, UnusableFile,
                         ::testing::Values(FileCase{"Empty", {}},
                                           FileCase{"Text", {'h', 'e', 'l', 'l', 'o'}},
                                           FileCase{"OtherSignature", Signed("KV4TCFG2")},
                                           FileCase{"LowerCaseSignature", Signed("kv4tcfg1")},
                                           FileCase{"CutShort", CutShort()}),
                         ByLabel());

TEST_F(Startup, CyrillicFilePathReachesTheFile) {
  const fs::path file = fs::path(u8"Настройки КВ4Т.kv4tcfg");
  EXPECT_EQ(Start(L"/port:5 \"Настройки КВ4Т.kv4tcfg\""), 0);
  std::unique_ptr<ConverterSettings> saved = ReadConfigFile(file);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->LinkSet().port, "COM5");
  EXPECT_EQ(Cp1251ToUtf8(app->Options().filePath), "Настройки КВ4Т.kv4tcfg");

  // Read back from there by the next run.
  EXPECT_EQ(Start(L"\"Настройки КВ4Т.kv4tcfg\""), 0);
  EXPECT_EQ(window.seen.link.port, "COM5");
}

// A command line and what it should bring about.
struct LineCase {
  const char* label;
  const wchar_t* line;
  bool expected;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.label; }

class Silent : public StartupTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Silent, OnlyWithAFileAreDeviceErrorsKeptQuiet) {
  window.steps = {ScriptedWindow::ApplyLink()};
  EXPECT_EQ(Start(std::wstring(kUnreachable) + L" " + GetParam().line), 0);
  EXPECT_EQ(window.seen.silent, GetParam().expected);
  EXPECT_EQ(notices.boxes.size(), GetParam().expected ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Lines, Silent,
                         ::testing::Values(LineCase{"Alone", L"/silent", false},
                                           LineCase{"WithFile", L"/silent device.kv4tcfg", true},
                                           LineCase{"FileAlone", L"device.kv4tcfg", false},
                                           LineCase{"WithReadAndFile",
                                                    L"/SILENT /read device.kv4tcfg", true}),
                         ByLabel());

// A tree whose children the factory creates but none of which is the converter.
ConfigObject* CreateWithMessages(const std::string& type) {
  if (type == ConverterSettings::kType) return new ConverterDevice();
  if (type != "message") return nullptr;
  auto* object = new ConfigObject();
  object->type = "message";
  return object;
}

void DestroyObject(ConfigObject* object) { delete object; }

class MessagesApp : public CCfgApp {
 public:
  using CCfgApp::CCfgApp;

 protected:
  void RegisterObjectTypes() override {
    RegisterObjectFactory(&CreateWithMessages, &DestroyObject);
  }
};

class NoDevice : public StartupTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(NoDevice, NoWindowNothingSaved) {
  {
    auto root = std::make_unique<ConfigObject>();
    ConfigObject* message = CreateWithMessages("message");
    message->name = "m1";
    ASSERT_TRUE(root->AddChild(message));
    SaveTree(root.get(), kConfigLocation);
  }
  const std::string stored = store.FormatText();

  EXPECT_EQ(Start<MessagesApp>(GetParam().line), 0);
  EXPECT_EQ(window.runs, 0);
  EXPECT_EQ(store.FormatText(), stored);
  EXPECT_FALSE(fs::exists(kFile));
  if (!GetParam().expected) {
    EXPECT_TRUE(notices.boxes.empty());
    return;
  }
  ASSERT_EQ(notices.boxes.size(), 1u);
  EXPECT_EQ(notices.boxes[0].text,
            "Невозможно создать объект устройства KV4T. Обратитесь к разработчику.");
  EXPECT_EQ(notices.boxes[0].caption, "Неисправимая ошибка");
  EXPECT_EQ(notices.boxes[0].style, kNoticeIconError);
  EXPECT_EQ(notices.boxes[0].owner, notices.main_window);
}

// Without a device, an operation keyword keeps "silent" and the file from being
// recorded: the box then appears.
INSTANTIATE_TEST_SUITE_P(
    Lines, NoDevice,
    ::testing::Values(LineCase{"Plain", L"", true},
                      LineCase{"SilentWithFile", L"/silent device.kv4tcfg", false},
                      LineCase{"SilentReadWithFile", L"/silent /read device.kv4tcfg", true},
                      LineCase{"SilentWithoutFile", L"/silent /port:3", true}),
    ByLabel());

}  // namespace
