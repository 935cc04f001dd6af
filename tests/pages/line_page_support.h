// What the current-loop and line-test page tests share: the page tests' instrument
// catalogue, a sheet that only lends its window, a page attached to the recording
// stand-in together with a converter device, and the protocol a line test writes.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/resource_ids.h"
#include "device/converter_device.h"
#include "pages/dlg_test.h"
#include "pages/page_sheet.h"
#include "sim/sim_constants.h"
#include "tests/pages/recording_ui.h"
#include "tests/support/test_catalogue.h"

namespace line_pages {

// A sheet that lends its window as the owner of the device operations' boxes.
class WindowOnlySheet : public PageSheet {
 public:
  bool ApplyActivePage() override { return false; }
  int CheckLink() override { return 1; }
  WindowHandle Window() override { return RecordingUi::kSheetWindow; }
  void PageChanged() override {}
};

// A page of type Page with its controls, the sheet and a device whose sets are the
// defaults (the loop set the catalogue's first entry).
template <typename Page>
class PageFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadPageCatalogue();
    device = std::make_unique<ConverterDevice>();
    page = std::make_unique<Page>();
    page->SetDevice(device.get());
    controls = std::make_unique<RecordingControls>(ui, *page, &sheet);
  }
  void TearDown() override {
    page.reset();  // waits for a worker before the device goes
    controls.reset();
    device.reset();
    ClearCatalogue();
  }

  // The notifications the page sent to the sheet, in order.
  std::vector<int> Notifications() {
    std::vector<int> out;
    for (const UiEvent& e : ui.Events())
      if (e.kind == UiEvent::notify) out.push_back(e.code);
    return out;
  }

  RecordingUi ui;
  WindowOnlySheet sheet;
  std::unique_ptr<ConverterDevice> device;
  std::unique_ptr<Page> page;
  std::unique_ptr<RecordingControls> controls;
};

// The line-test page created and shown, with the record of what the user saw
// cleared.
class TestPageFixture : public PageFixture<CDlgTest> {
 protected:
  void SetUp() override {
    PageFixture<CDlgTest>::SetUp();
    ASSERT_TRUE(controls->Create());
    ASSERT_TRUE(controls->Activate());
    ui.Clear();
  }

  // Between tests: the button offers the next test.
  void ExpectIdle(const char* caption) {
    EXPECT_FALSE(page->running);
    EXPECT_EQ(controls->Text(IDC_TEST_BUTTON), caption);
    EXPECT_EQ(controls->Tooltip(IDC_TEST_BUTTON), IDS_TIP_TEST_START);
    EXPECT_TRUE(controls->Enabled(IDC_TEST_BUTTON));
    EXPECT_EQ(controls->Text(IDC_TEST_STATUS), "");
  }
};

// The converter's holding registers for a line test: the runs (first, last) are
// readable with their factory values, the others not (-1).
using RegisterValues = std::array<int, kv4t::sim::kRegisterCount>;

inline RegisterValues Registers(std::initializer_list<std::pair<int, int>> runs) {
  RegisterValues registers;
  registers.fill(-1);
  for (const auto& [first, last] : runs)
    for (int i = first; i <= last; ++i)
      registers[static_cast<std::size_t>(i)] = kv4t::sim::factory_register(i);
  return registers;
}

// The protocol row of the four registers from `first` (UTF-8, with its line break).
inline std::string Row(int first, const RegisterValues& registers) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X-%02X:", first, first + 3);
  std::string row = text;
  for (int i = first; i < first + 4; ++i) {
    const int value = registers[static_cast<std::size_t>(i)];
    if (value < 0) {
      row += " ----";
    } else {
      std::snprintf(text, sizeof text, " %04X", value);
      row += text;
    }
  }
  return row + "\r\n";
}

// The rows of a whole scan.
inline std::string Rows(const RegisterValues& registers) {
  std::string rows;
  for (int first = 0; first < kv4t::sim::kRegisterCount; first += 4) rows += Row(first, registers);
  return rows;
}

// What a test of the converter at its factory settings on `port` writes before its
// register rows.
inline std::string Head(const std::string& port) {
  return "Тестирование началось...\r\n"
         "успешное открытие порта \"" + port + "\"\r\n"
         "по адресу 16 подключен KV4T (KV4T-1.3)\r\n"
         "параметры соединения по токовой петле: 9600 8-n-2\r\n"
         "подключенный прибор: ZR-40 (ZR40A12)\r\n";
}

}  // namespace line_pages
