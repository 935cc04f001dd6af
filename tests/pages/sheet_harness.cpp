#include "tests/pages/sheet_harness.h"

#include "store/catalogue.h"

SheetHarness::CatalogueReady::CatalogueReady() { Catalogue().AddBuiltInWhenEmpty(); }

SheetHarness::SheetHarness(std::vector<int> ports) {
  sheet.Attach(&host);
  sheet.SettingsPage().SetPortLister([ports] { return ports; });
}

SheetHarness::~SheetHarness() { device.ClosePort(); }

RecordingControls& SheetHarness::Page(int index) {
  std::unique_ptr<RecordingControls>& page = pages_[index];
  if (!page) {
    page = std::make_unique<RecordingControls>(
        ui, sheet.Page(index), &sheet,
        [this](PageNotification notification) { sheet.OnPageNotification(notification); });
    page->Create();
  }
  return *page;
}

void SheetHarness::Open() {
  host.SetActivePage(CCfgSheet::kSettingsPage);
  Settings().Activate();
  sheet.OnInitDialog();
}

bool SheetHarness::SwitchTo(int index) {
  if (!host.TabsEnabled()) return false;
  if (!Page(host.ActivePage()).Leave()) return false;
  host.SetActivePage(index);
  Page(index).Activate();
  return true;
}

bool SheetHarness::PressApply() {
  if (!host.IsButtonEnabled(kSheetApply)) return false;
  sheet.ApplyActivePage();
  return true;
}

bool SheetHarness::PressOk() {
  if (!host.IsButtonEnabled(kSheetOk)) return false;
  sheet.OnOK();
  return true;
}

std::vector<int> SheetHarness::Notifications() {
  std::vector<int> out;
  for (const UiEvent& e : ui.Events())
    if (e.kind == UiEvent::notify) out.push_back(e.code);
  return out;
}
