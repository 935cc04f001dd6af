// What the current-loop and line-test page tests share: a small instrument
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

namespace line_pages {

// Two instruments: ZR-40 (the converter's factory instrument) lets the user choose
// everything and has a polling minimum of -1 (its pollmin) at 9600 baud; TM-12
// allows nothing to be changed and no 9600 baud.
inline constexpr const char* kCatalogueXml = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<KV4T>
  <device name="ZR-40" description="Регулятор ZR-40" validbauds="2400,4800,9600,19200"
    defbaud="9600" defbytesize="8" defparity="0" defstopbits="2" pollmin="2" pollmax="1000"
    flags="15">
    <version name="ZR40A12" description="ZR-40 (ZR40A12)" minpolls="5,3,-1,1" />
  </device>
  <device name="TM-12" description="Термометр TM-12" validbauds="1200,2400,4800"
    defbaud="2400" defbytesize="7" defparity="2" defstopbits="0" pollmin="4" pollmax="600"
    flags="0">
    <version name="TM12V1" description="TM-12 (TM12V1)" minpolls="8,6" />
  </device>
</KV4T>
)xml";

inline void LoadTestCatalogue() {
  ClearCatalogue();
  Catalogue().LoadText(kCatalogueXml);
}

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
    LoadTestCatalogue();
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
