// What the current-loop and line-test page tests share: a small instrument
// catalogue, a sheet that only lends its window, and a page created and attached
// to the recording stand-in together with a converter device.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/converter_device.h"
#include "pages/page_sheet.h"
#include "store/catalogue.h"
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

}  // namespace line_pages
