// The run against the simulated converter, reached as COM7 through a ports folder
// of the test's own: what a successful apply leaves in the stored tree, and which
// boxes the silent state keeps back.
#include <memory>
#include <string>

#include "sim/sim.h"
#include "tests/app/startup_support.h"
#include "tests/support/ports_folder.h"

namespace {

namespace sim = kv4t::sim;

class StartupSim : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    std::string error;
    ASSERT_TRUE(ports.StartSimulator(simulator, 7, {}, &error)) << error;
  }
  void TearDown() override {
    if (simulator) simulator->stop();
    StartupTest::TearDown();
  }

  PortsFolder ports{"kv4t-app-ports"};
  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(StartupSim, AnAcceptedApplyReachesTheRegistryAfterCancel) {
  ASSERT_TRUE(StartWritingRs485(L"/port:7"));
  EXPECT_EQ(simulator->state().line.baud, 19200);
  EXPECT_EQ(simulator->state().address, 20);

  EXPECT_EQ(StoredInt("kv8_baud"), 19200);
  EXPECT_EQ(StoredInt("kv8_address"), 20);
  // The converter now answers at these settings on the port the command line named.
  EXPECT_EQ(StoredText("port"), "COM7");
  EXPECT_EQ(StoredInt("baud"), 19200);
  EXPECT_EQ(StoredInt("address"), 20);
}

TEST_F(StartupSim, SilentFileModeStillShowsTheAddressCorrection) {
  bool written = false;
  bool linked = true;
  window.steps = {ScriptedWindow::EditRs485([](PortSettings& s) { s.address = 300; }),
                  ScriptedWindow::ApplyRs485(&written),
                  ScriptedWindow::EditLink([](PortSettings& s) { s.port = "COM250"; }),
                  ScriptedWindow::ApplyLink(&linked)};
  EXPECT_EQ(Start(L"/port:7 /silent device.kv4tcfg"), 0);
  EXPECT_TRUE(written);
  EXPECT_FALSE(linked);
  ASSERT_EQ(notices.boxes.size(), 1u);
  EXPECT_EQ(notices.boxes[0].caption, "Неверный адрес");
  EXPECT_EQ(notices.boxes[0].text.rfind("Адрес 300 вне допустимого диапазона", 0), 0u)
      << notices.boxes[0].text;

  std::unique_ptr<ConverterSettings> saved = ReadConfigFile("device.kv4tcfg");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->Rs485Set().address, simulator->state().address);
  EXPECT_EQ(saved->LinkSet().port, "COM250");
  EXPECT_FALSE(store.KeyExists(u"SOFTWARE\\RAVIK\\KV4T-Config"));
}

}  // namespace
