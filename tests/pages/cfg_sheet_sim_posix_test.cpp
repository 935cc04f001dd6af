// The main window's logic against the simulated converter, linked as COM5 in a
// ports folder of the test's own: the user's steps on the pages, and what the
// converter received, what the device keeps and what the pages then show.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/resource_ids.h"
#include "pages/device_calls.h"
#include "sim/sim.h"
#include "tests/pages/sheet_harness.h"
#include "tests/support/ports_folder.h"
#include "tests/support/sim_lines.h"

namespace {

namespace sim = kv4t::sim;
namespace fs = std::filesystem;

constexpr int kPortNumber = 5;

class SheetSim : public ::testing::Test {
 protected:
  void TearDown() override {
    h.reset();
    if (simulator) simulator->stop();
  }

  // The converter on COM5, the only port of the computer, and the sheet for a
  // device whose link set names it.
  void Start(sim::Options options = {}) {
    StartConverter(std::move(options));
    if (!HasFatalFailure()) MakeSheet();
  }
  // The converter appears on COM5.
  void StartConverter(sim::Options options = {}) {
    std::string error;
    ASSERT_TRUE(ports_.StartSimulator(simulator, kPortNumber, std::move(options), &error)) << error;
  }
  void MakeSheet() {
    h = std::make_unique<SheetHarness>(std::vector<int>{kPortNumber});
    h->device.LinkSet().port = "COM" + std::to_string(kPortNumber);
  }

  sim::State State() const { return simulator->state(); }
  long Count(std::string_view name) const { return simulator->request_count(name); }

  PortsFolder ports_{"kv4t-pages"};  // the test's own folder, removed after it
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<SheetHarness> h;
};

// The user changes the converter's baud rate and address on its page and presses
// Apply: the converter is reached, takes the settings with "APLY" and answers at
// them; the device keeps them and the computer-port page shows them.
TEST_F(SheetSim, TheTypicalRequest) {
  Start();
  h->Open();
  EXPECT_EQ(h->Settings().Selected(IDC_PORT), "COM5");
  ASSERT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  EXPECT_EQ(Count(sim::kParamDev), 2);  // the link apply, then the link check
  RecordingControls& rs485 = h->Rs485();
  EXPECT_EQ(rs485.Selected(IDC_BAUD), "9600");
  EXPECT_EQ(rs485.Text(IDC_RS485_ADDRESS), "16");

  ASSERT_TRUE(rs485.ChooseText(IDC_BAUD, "19200"));
  ASSERT_TRUE(rs485.Type(IDC_RS485_ADDRESS, "30"));
  h->ui.Clear();
  ASSERT_TRUE(h->PressApply());
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000));

  EXPECT_TRUE(h->Boxes().empty());
  const sim::State state = State();
  for (std::string_view name : {sim::kParamBaud, sim::kParamBits, sim::kParamParity,
                                sim::kParamStop, sim::kParamDelay, sim::kParamAlen,
                                sim::kParamAddr, sim::kParamProto, sim::kParamApply})
    EXPECT_EQ(state.count(name), 1) << name;
  EXPECT_EQ(state.setting(sim::kParamBaud), 19200);
  EXPECT_EQ(state.setting(sim::kParamBits), 8);
  EXPECT_EQ(state.setting(sim::kParamParity), 0);
  EXPECT_EQ(state.setting(sim::kParamStop), 0);
  EXPECT_EQ(state.setting(sim::kParamAlen), 8);
  EXPECT_EQ(state.number(sim::kParamAddr), 30);
  EXPECT_EQ(state.setting(sim::kParamProto), 0);
  EXPECT_EQ(state.number(sim::kParamDelay), h->device.Rs485Set().delay);
  EXPECT_EQ(state.line.baud, 19200);
  EXPECT_EQ(state.address, 30);

  EXPECT_EQ(h->device.StoredRs485Set().baud, 19200);
  EXPECT_EQ(h->device.StoredRs485Set().address, 30);
  EXPECT_EQ(h->device.StoredLinkSet().baud, 19200);
  EXPECT_EQ(h->device.StoredLinkSet().address, 30);
  EXPECT_FALSE(h->sheet.Rs485Page().modified);
  EXPECT_FALSE(h->sheet.busy);
  EXPECT_FALSE(h->device.connected);
  EXPECT_FALSE(h->host.IsButtonEnabled(kSheetApply));
  std::vector<int> cursors;
  for (const UiEvent& e : h->ui.Events())
    if (e.kind == UiEvent::cursor && e.who == "sheet") cursors.push_back(e.code);
  EXPECT_EQ(cursors, (std::vector<int>{1, 0}));  // busy, then idle

  h->host.SetActivePage(CCfgSheet::kSettingsPage);
  h->Settings().Activate();
  EXPECT_EQ(h->Settings().Selected(IDC_BAUD), "19200");
  EXPECT_EQ(h->Settings().Text(IDC_LINK_ADDRESS), "30");
  // The converter answers at its new settings.
  EXPECT_EQ(h->sheet.CheckLink(), 0);
}

TEST_F(SheetSim, ApplyLinkMakesTheLinkTheRs485SetButKeepsItsProtocol) {
  sim::Options options;
  options.line.baud = 19200;
  options.address = 40;
  Start(options);
  PortSettings& link = h->device.LinkSet();
  link.baud = 19200;
  link.address = 40;
  link.delay = 5;
  h->device.Rs485Set().proto = 2;
  h->Open();
  ASSERT_TRUE(h->sheet.ApplyActivePage());  // on the computer-port page: the link apply
  EXPECT_TRUE(h->Boxes().empty());

  PortSettings expected = h->device.StoredLinkSet();
  EXPECT_EQ(expected.devtype, "KS4T");
  EXPECT_EQ(expected.baud, 19200);
  expected.proto = 2;
  EXPECT_EQ(h->device.StoredRs485Set(), expected);
  expected.changed = true;  // the RS-485 page reloads it
  EXPECT_EQ(h->device.Rs485Set(), expected);
  h->Rs485().Activate();
  EXPECT_EQ(h->Rs485().Selected(IDC_BAUD), "19200");
  EXPECT_EQ(h->Rs485().Text(IDC_RS485_ADDRESS), "40");
  EXPECT_EQ(h->Rs485().Text(IDC_RS485_DELAY), "5");
  EXPECT_EQ(h->Rs485().Selected(IDC_PROTOCOL), "MODBUS-RTU");

  // While the RS-485 page holds edits, the link apply leaves its set alone.
  h->Rs485().Type(IDC_RS485_ADDRESS, "41");
  link.delay = 6;
  const PortSettings rs485 = h->device.Rs485Set();
  h->host.SetActivePage(CCfgSheet::kSettingsPage);
  ASSERT_TRUE(h->sheet.ApplyActivePage());
  EXPECT_EQ(h->device.Rs485Set(), rs485);
  EXPECT_EQ(h->device.StoredLinkSet().delay, 6);
}

TEST_F(SheetSim, OkWithNothingModifiedTalksToNoConverter) {
  Start();
  h->Open();
  ASSERT_TRUE(h->PressOk());
  EXPECT_EQ(h->host.Result(), CCfgSheet::kResultOk);
  EXPECT_TRUE(State().requests.empty());
}

TEST_F(SheetSim, OkWritesEveryModifiedPage) {
  Start();
  h->Open();
  ASSERT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  h->Rs485().ChooseText(IDC_BAUD, "38400");
  h->host.SetActivePage(CCfgSheet::kSettingsPage);
  h->Settings().Activate();
  h->Settings().ChooseText(IDC_ADAPTOR, "Автоматический");
  const long dev_before = Count(sim::kParamDev);
  ASSERT_TRUE(h->PressOk());
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000));
  EXPECT_EQ(Count(sim::kParamDev), dev_before + 2);  // the link apply, the RS-485 apply
  EXPECT_EQ(State().line.baud, 38400);
  EXPECT_EQ(h->device.StoredLinkSet().adaptor, 0);
  EXPECT_EQ(h->device.StoredLinkSet().baud, 38400);
  EXPECT_EQ(h->host.Result(), CCfgSheet::kResultOk);
  EXPECT_TRUE(h->Boxes().empty());
}

TEST_F(SheetSim, AFailedRs485WriteIsReportedAndKeepsThePageModified) {
  sim::Options options;
  options.faults.no_answer = {std::string(sim::kParamAddr)};
  Start(options);
  h->Open();
  ASSERT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  h->Rs485().ChooseText(IDC_BAUD, "4800");
  const PortSettings stored = h->device.StoredRs485Set();
  h->ui.Clear();
  EXPECT_FALSE(h->sheet.ApplyActivePage());
  EXPECT_EQ(h->Boxes(), (std::vector<Box>{{"Ошибка сохранения коммуникационных параметров прибора.",
                                           "Ошибка", kNoticeIconError, "sheet"}}));
  EXPECT_EQ(Count(sim::kParamApply), 0);
  EXPECT_EQ(State().line.baud, 9600);
  EXPECT_EQ(h->device.StoredRs485Set(), stored);
  EXPECT_EQ(h->device.LinkSet().baud, 9600);
  EXPECT_TRUE(h->sheet.Rs485Page().modified);
  EXPECT_FALSE(h->sheet.busy);
  EXPECT_FALSE(h->device.connected);
  EXPECT_TRUE(h->host.IsButtonEnabled(kSheetApply));
}

// The device corrects an address beyond its range and tells the page that asked:
// the page shows the address written and moves on to the delay.
TEST_F(SheetSim, AnAddressCorrectionReachesThePage) {
  Start();
  RecordingControls& rs485 = h->Rs485();
  rs485.Activate();
  h->device.Rs485Set().address = 300;
  ASSERT_TRUE(h->device.Connect());
  h->ui.Clear();
  EXPECT_TRUE(WriteRs485Settings(h->device, &h->sheet.Rs485Page()));
  ASSERT_EQ(h->Boxes().size(), 1u);
  EXPECT_EQ(h->Boxes()[0].caption, "Неверный адрес");
  EXPECT_EQ(h->Boxes()[0].who, "sheet");  // owned by the main window
  EXPECT_EQ(rs485.Text(IDC_RS485_ADDRESS), "254");
  EXPECT_EQ(rs485.FocusedControl(), IDC_RS485_DELAY);
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000));
  EXPECT_EQ(State().number(sim::kParamAddr), 254);
}

struct AddressCase {
  int32_t address, alen, written;
};
void PrintTo(const AddressCase& c, std::ostream* os) {
  *os << c.address << "/" << c.alen << " written as " << c.written;
}
class AddressCorrection : public SheetSim, public ::testing::WithParamInterface<AddressCase> {};

// An address outside the converter's range for its length is corrected even in
// the silent state: the box first, owned by the main window, then the set holds
// the address written and the page shows it with the focus on the delay, and only
// then is anything of the write sent. An address in range is written as it is,
// and nothing is shown.
TEST_P(AddressCorrection, TheBoxComesBeforeTheWrite) {
  const AddressCase& c = GetParam();
  Start();
  RecordingControls& rs485 = h->Rs485();
  rs485.Activate();
  SetSilentState(true);
  PortSettings& rs = h->device.Rs485Set();
  rs.address = c.address;
  rs.alen = c.alen;
  ASSERT_TRUE(h->device.Connect());
  const std::string shown = rs485.Text(IDC_RS485_ADDRESS);
  h->ui.Clear();
  long writes_at_box = -1, writes_at_focus = -1;
  int32_t record_at_focus = -1;
  h->ui.onRecord = [&](const UiEvent& e) {
    if (e.kind == UiEvent::box) writes_at_box = Count(sim::kParamBaud);
    if (e.kind == UiEvent::focus) {
      writes_at_focus = Count(sim::kParamBaud);
      record_at_focus = rs.address;
    }
  };
  const Rs485WriteOutcome written = WriteRs485Settings(h->device, &h->sheet.Rs485Page());
  h->ui.onRecord = nullptr;
  ASSERT_TRUE(written);
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000));
  EXPECT_EQ(written.address, c.written);
  EXPECT_EQ(written.corrected, c.written != c.address);
  EXPECT_EQ(rs.address, c.written);
  EXPECT_EQ(h->device.LinkSet().address, c.written);
  EXPECT_EQ(State().number(sim::kParamAddr), c.written);
  EXPECT_EQ(State().address, c.written);

  std::vector<UiEvent::Kind> kinds;
  for (const UiEvent& e : h->ui.Events())
    if (e.kind == UiEvent::box || e.kind == UiEvent::focus) kinds.push_back(e.kind);
  if (c.written == c.address) {
    EXPECT_TRUE(kinds.empty());
    EXPECT_EQ(rs485.Text(IDC_RS485_ADDRESS), shown);  // the page is not told
    return;
  }
  char text[200];
  std::snprintf(text, sizeof text,
                "Адрес %i вне допустимого диапазона при данном типе адресации.\n"
                "Будет установлено значение адреса равное %i",
                c.address, c.written);
  EXPECT_EQ(h->Boxes(), (std::vector<Box>{{text, "Неверный адрес", kNoticeIconError, "sheet"}}));
  EXPECT_EQ(kinds, (std::vector<UiEvent::Kind>{UiEvent::box, UiEvent::focus}));
  EXPECT_EQ(rs485.Text(IDC_RS485_ADDRESS), std::to_string(c.written));
  EXPECT_EQ(rs485.FocusedControl(), IDC_RS485_DELAY);
  EXPECT_EQ(record_at_focus, c.written);
  EXPECT_EQ(writes_at_box, 0);
  EXPECT_EQ(writes_at_focus, 0);
}

const AddressCase kAddressCases[] = {
    {300, 8, 254}, {255, 8, 255}, {-5, 8, 0}, {2047, 11, 2047}, {2048, 11, 2046},
};
INSTANTIATE_TEST_SUITE_P(Addresses, AddressCorrection, ::testing::ValuesIn(kAddressCases));

// A configuration file can carry any rate, and the device takes it as it stands:
// here an RS-485 set at 1200 baud, which the page's list does not offer. In file
// mode with /silent, a converter that does not answer yet lets the user leave the
// first tab, and the RS-485 page shows the set with no rate. Neither leaving the
// page nor Apply nor OK then writes anything, although the converter now answers:
// saved as it is, the set would reach it as baud 0 ("no such rate") with "APLY".
TEST_F(SheetSim, AnRs485RateNotInTheListIsRefusedAndNothingIsWritten) {
  MakeSheet();
  const fs::path file = ports_.path() / "rate1200.kv4tcfg";
  {
    ConverterDevice writer;
    writer.LinkSet().port = h->device.LinkSet().port;
    writer.Rs485Set().baud = 1200;
    ASSERT_EQ(writer.SaveConfigFile(file.string()), kConfigFileOk);
  }
  ASSERT_EQ(h->device.LoadConfigFile(file.string()), kConfigFileOk);
  ASSERT_EQ(h->device.Rs485Set().baud, 1200);
  SetSilentState(true);
  h->Open();
  ASSERT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  RecordingControls& rs485 = h->Rs485();
  ASSERT_EQ(rs485.Selection(IDC_BAUD), -1);
  ASSERT_TRUE(rs485.Type(IDC_RS485_ADDRESS, "30"));

  StartConverter();
  ASSERT_FALSE(HasFatalFailure());
  h->ui.Clear();
  const Box refusal{"Недопустимое значение скорости обмена\nвыберите скорость обмена из списка",
                    "Нельзя выполнить операцию", kNoticeIconError, "page 103"};
  EXPECT_FALSE(h->SwitchTo(CCfgSheet::kLoopPage));
  EXPECT_EQ(h->host.ActivePage(), CCfgSheet::kRs485Page);
  ASSERT_TRUE(h->PressApply());
  ASSERT_TRUE(h->PressOk());
  EXPECT_EQ(h->Boxes(), (std::vector<Box>{refusal, refusal, refusal}));
  EXPECT_EQ(rs485.FocusedControl(), IDC_BAUD);
  EXPECT_EQ(h->host.Result(), 0);  // the sheet stays open
  EXPECT_TRUE(h->sheet.Rs485Page().modified);
  EXPECT_FALSE(h->device.connected);
  EXPECT_TRUE(State().requests.empty());
  EXPECT_EQ(h->device.Rs485Set().baud, 1200);

  // With a rate chosen from the list, Apply writes the set.
  ASSERT_TRUE(rs485.ChooseText(IDC_BAUD, "19200"));
  ASSERT_TRUE(h->PressApply());
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000));
  EXPECT_EQ(h->Boxes().size(), 3u);
  EXPECT_EQ(State().setting(sim::kParamBaud), 19200);
  EXPECT_EQ(State().number(sim::kParamAddr), 30);
}

TEST_F(SheetSim, ApplyLoopWritesTheLoopSet) {
  Start();
  h->Open();
  PortSettings& loop = h->device.LoopSet();
  loop.baud = 4800;
  loop.delay = 7;
  h->sheet.LoopPage().modified = true;
  h->host.SetActivePage(CCfgSheet::kLoopPage);
  EXPECT_TRUE(h->sheet.ApplyActivePage());
  EXPECT_TRUE(h->Boxes().empty());
  const sim::State state = State();
  EXPECT_EQ(state.text(sim::kParamLoopDev), loop.devtype);
  EXPECT_EQ(state.setting(sim::kParamLoopBaud), 4800);
  EXPECT_EQ(state.number(sim::kParamLoopPoll), 7);
  EXPECT_EQ(state.count(sim::kParamApply), 0);  // RAVIK stays: nothing to restore
  EXPECT_EQ(h->device.StoredLoopSet(), loop);
  EXPECT_FALSE(h->sheet.LoopPage().modified);
  EXPECT_FALSE(h->device.connected);
}

class SheetSimOnLine : public SheetSim, public ::testing::WithParamInterface<LineKind> {};

// The typical request on each line: Connect (the link apply and the link check
// when the user leaves the first tab), Apply on the RS-485 tab and on the loop
// tab, each request sent once and the converter reached at its new settings.
TEST_P(SheetSimOnLine, ConnectAndApplyTheRs485AndLoopPages) {
  sim::Options options = OnLine(GetParam());
  Start(options);
  h->Open();
  ASSERT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  EXPECT_EQ(Count(sim::kParamDev), 2);
  EXPECT_TRUE(h->Boxes().empty());
  RecordingControls& rs485 = h->Rs485();
  ASSERT_TRUE(rs485.ChooseText(IDC_BAUD, "19200"));
  ASSERT_TRUE(rs485.Type(IDC_RS485_ADDRESS, "30"));
  ASSERT_TRUE(h->PressApply());
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000));
  EXPECT_TRUE(h->Boxes().empty());
  for (std::string_view name : {sim::kParamBaud, sim::kParamBits, sim::kParamParity,
                                sim::kParamStop, sim::kParamDelay, sim::kParamAlen,
                                sim::kParamAddr, sim::kParamProto, sim::kParamApply})
    EXPECT_EQ(Count(name), 1) << name;
  EXPECT_EQ(Count(sim::kParamDev), 3);
  EXPECT_EQ(State().line.baud, 19200);
  EXPECT_EQ(State().address, 30);
  EXPECT_EQ(h->device.StoredLinkSet().address, 30);
  EXPECT_FALSE(h->sheet.Rs485Page().modified);

  PortSettings& loop = h->device.LoopSet();
  loop.baud = 4800;
  loop.delay = 7;
  h->sheet.LoopPage().modified = true;
  h->host.SetActivePage(CCfgSheet::kLoopPage);
  EXPECT_TRUE(h->sheet.ApplyActivePage());
  EXPECT_TRUE(h->Boxes().empty());
  EXPECT_EQ(State().setting(sim::kParamLoopBaud), 4800);
  EXPECT_EQ(State().number(sim::kParamLoopPoll), 7);
  EXPECT_EQ(Count(sim::kParamLoopPoll), 1);
  EXPECT_EQ(h->sheet.CheckLink(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, SheetSimOnLine,
                         ::testing::ValuesIn(kLineKinds), LineKindName);

// The bus of three converters; the link set names one of them.
class SheetSimBus : public SheetSim, public ::testing::WithParamInterface<int> {
 protected:
  static constexpr const int (&kAddresses)[3] = kBusAddresses;
  void StartBus() {
    Start(ThreeConverterBus("KV4T-"));
    if (HasFatalFailure()) return;
    h->device.LinkSet().baud = 19200;
    h->device.LinkSet().address = kAddresses[GetParam()];
  }
};

// Connect and Apply on the RS-485 tab reach only the converter the link set
// names (the one in Modbus is woken first): it takes the new answer delay, and
// the others hold what they held and saw no request of theirs.
TEST_P(SheetSimBus, ConnectAndApplyReachOnlyTheAddressedConverter) {
  StartBus();
  ASSERT_FALSE(HasFatalFailure());
  const std::size_t addressed = static_cast<std::size_t>(GetParam());
  std::vector<sim::State> before;
  for (std::size_t i = 0; i < simulator->converter_count(); ++i)
    before.push_back(simulator->state(i));
  h->Open();
  ASSERT_TRUE(h->SwitchTo(CCfgSheet::kRs485Page));
  EXPECT_TRUE(h->Boxes().empty());
  EXPECT_EQ(h->device.LinkSet().fwver, "KV4T-" + std::to_string(kAddresses[addressed]));
  ASSERT_TRUE(h->Rs485().Type(IDC_RS485_DELAY, "9"));
  ASSERT_TRUE(h->PressApply());
  ASSERT_TRUE(simulator->wait_for_requests(sim::kParamApply, 1, 2000, addressed));
  EXPECT_TRUE(h->Boxes().empty());

  const sim::State reached = simulator->state(addressed);
  EXPECT_EQ(reached.delay_ms, 9);
  EXPECT_EQ(reached.address, kAddresses[addressed]);
  EXPECT_EQ(reached.line.baud, 19200);
  EXPECT_EQ(reached.protocol, sim::Protocol::ravik);
  EXPECT_EQ(reached.count(sim::kParamApply), 1);
  EXPECT_EQ(reached.count(sim::kCountModbusCoil), kAddresses[addressed] == 9 ? 1 : 0);
  for (std::size_t i = 0; i < simulator->converter_count(); ++i) {
    if (i == addressed) continue;
    SCOPED_TRACE(kAddresses[i]);
    const sim::State other = simulator->state(i);
    EXPECT_TRUE(other.requests.empty());
    EXPECT_EQ(other.params, before[i].params);
    EXPECT_EQ(other.line, before[i].line);
    EXPECT_EQ(other.address, before[i].address);
    EXPECT_EQ(other.delay_ms, before[i].delay_ms);
    EXPECT_EQ(other.protocol, before[i].protocol);
    EXPECT_EQ(other.answers, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Addressed, SheetSimBus, ::testing::Values(0, 1, 2),
                         [](const auto& info) {
                           return "address" + std::to_string(kBusAddresses[info.param]);
                         });

}  // namespace
