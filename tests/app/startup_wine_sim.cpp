// The run in the Windows build under Wine against the simulated converter, linked
// as the COM port named by $KV4T_WINE_PORT (tests/wine-with-sim): the port comes
// from the command line, an apply the converter accepts reaches the registry after
// Cancel, and the registry is read back through the Reg API.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/code_pages.h"
#include "tests/app/registry_support.h"

namespace {

class StartupWineSim : public RegistryStartupTest {
 protected:
  void SetUp() override {
    const char* port = std::getenv("KV4T_WINE_PORT");
    if (!port || std::string(port).rfind("COM", 0) != 0) GTEST_SKIP() << "KV4T_WINE_PORT not set";
    portNumber = Cp1251ToWide(port + 3);
    RegistryStartupTest::SetUp();
  }

  std::wstring portNumber;
};

TEST_F(StartupWineSim, AnAcceptedApplyReachesTheRegistryAfterCancel) {
  ASSERT_TRUE(StartWritingRs485(L"/port:" + portNumber));
  EXPECT_EQ(RegNumber(kDeviceKey, L"kv8_baud"), 19200u);
  EXPECT_EQ(RegNumber(kDeviceKey, L"kv8_address"), 20u);
  EXPECT_EQ(RegNumber(kDeviceKey, L"baud"), 19200u);
  EXPECT_EQ(RegText(kDeviceKey, L"port"), L"COM" + portNumber);
}

}  // namespace
