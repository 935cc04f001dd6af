// The line test in the Windows build, under Wine: the worker is a Win32 thread
// created suspended, and the converter is the native simulator linked as the COM
// port named by $KV4T_WINE_PORT (tests/wine-with-sim), answering registers 10 to
// FF. One converter serves the whole run; every test leaves it in RAVIK.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/resource_ids.h"
#include "pages/dlg_test.h"
#include "tests/pages/line_page_support.h"

namespace {

using line_pages::Head;
using line_pages::Registers;
using line_pages::Rows;

std::string PortUnderTest() {
  const char* name = std::getenv("KV4T_WINE_PORT");
  return name ? name : "";
}

class LineTestWine : public line_pages::TestPageFixture {
 protected:
  void SetUp() override {
    if (PortUnderTest().empty()) GTEST_SKIP() << "KV4T_WINE_PORT not set";
    TestPageFixture::SetUp();
    device->LinkSet().port = PortUnderTest();
  }

  std::string Log() { return controls->Text(IDC_TEST_LOG); }

  // Waits until the running test reads the register named ("Считывание ячейки: 04")
  // or a later one.
  bool WaitForReading(const std::string& status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      if (controls->Text(IDC_TEST_STATUS) >= status) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
};

TEST_F(LineTestWine, WholeRunWithSummary) {
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  page->WaitForWorker();
  EXPECT_EQ(Log(), Head(PortUnderTest()) + Rows(Registers({{0x10, 0xFF}})) +
                       "Адреса считанных ячеек: 10-FF\r\nТестирование завершено\r\n");
  EXPECT_EQ(Notifications(), (std::vector<int>{WM_PAGE_BUSY, WM_PAGE_IDLE}));
  ExpectIdle("&Тест");
  EXPECT_FALSE(device->connected);
}

TEST_F(LineTestWine, StopAndDestroyWhileRunning) {
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  ASSERT_TRUE(WaitForReading("Считывание ячейки: 04"));
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  page->WaitForWorker();
  EXPECT_TRUE(Log().ends_with("Тестирование прервано\r\n")) << Log();
  EXPECT_EQ(Log().find("Адрес"), std::string::npos);

  // A second test, and the page goes away while it runs.
  ASSERT_TRUE(controls->Press(IDC_TEST_BUTTON));
  ASSERT_TRUE(WaitForReading("Считывание ячейки: 00"));
  page.reset();
  EXPECT_FALSE(device->connected);
  // The converter answers RAVIK again: a connection succeeds.
  EXPECT_TRUE(device->Connect());
  device->ClosePort();
}

}  // namespace
