#include "tests/pages/sheet_harness.h"

#include "catalogue/catalogue.h"

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

std::vector<Box> SheetHarness::Boxes() {
  std::vector<Box> out;
  for (const UiEvent& e : ui.Boxes()) out.push_back({e.text, e.caption, e.style, e.who});
  return out;
}

std::vector<int> SheetHarness::Notifications() {
  std::vector<int> out;
  for (const UiEvent& e : ui.Events())
    if (e.kind == UiEvent::notify) out.push_back(e.code);
  return out;
}

namespace {

bool IsEdit(RecordingControls& page, int id) {
  for (const ControlDef& def : page.page().Controls())
    if (def.id == id) return def.kind == ControlKind::edit;
  return false;
}

}  // namespace

bool Enter(RecordingControls& page, const std::vector<Shown>& values) {
  for (const Shown& v : values)
    if (!(IsEdit(page, v.id) ? page.Type(v.id, v.value) : page.ChooseText(v.id, v.value)))
      return false;
  return true;
}

std::vector<Shown> Showing(RecordingControls& page, const std::vector<Shown>& like) {
  std::vector<Shown> out;
  for (const Shown& v : like)
    out.push_back({v.id, IsEdit(page, v.id) ? page.Text(v.id) : page.Selected(v.id)});
  return out;
}

PortSettings WithLine(PortSettings record, int32_t baud, int32_t bytesize, int32_t parity,
                      int32_t stopbits, int32_t address, int32_t alen) {
  record.baud = baud;
  record.bytesize = bytesize;
  record.parity = parity;
  record.stopbits = stopbits;
  record.address = address;
  record.alen = alen;
  return record;
}
