#include "pages/dlg_page.h"

#include "common/code_pages.h"

bool CDlgPage::OnInitDialog() {
  initialized = true;
  return true;
}

bool CDlgPage::OnSetActive() {
  ExchangeSettings(device_, false, false);
  return true;
}

bool CDlgPage::OnApply() {
  OnOK();
  return true;
}

void CDlgPage::SetModified(bool value) {
  modified = value;
  AnnounceModified();
}

void CDlgPage::AnnounceModified() {
  if (controls_) controls_->NotifySheet(modified ? WM_PAGE_MODIFIED : WM_PAGE_CLEAN);
}

void CDlgPage::ExchangeRecord(PortSettings& record, bool save, bool force) {
  if (save) {
    if (modified && initialized) ReadControls(record);
    return;
  }
  AnnounceModified();
  if (!initialized) return;
  if (!needsRefresh && !force && !record.changed) return;
  record.changed = false;
  updating = true;
  needsRefresh = false;
  FillControls(record);
  updating = false;
}

void CDlgPage::FillFixedLists() {
  for (const ControlDef& def : Controls()) {
    if (def.kind != ControlKind::drop_down || def.items.empty()) continue;
    controls_->ResetItems(def.id);
    intptr_t position = 0;
    for (const char* item : def.items) controls_->AddItem(def.id, Utf8ToCp1251(item), position++);
  }
}

void CDlgPage::RegisterTooltips() {
  for (const ControlDef& def : Controls())
    if (def.tooltip) controls_->SetTooltip(def.id, def.tooltip);
}

bool CDlgPage::IsUserChange(int id, ControlEvent event) const {
  if (updating) return false;
  for (const ControlDef& def : Controls()) {
    if (def.id != id) continue;
    switch (def.kind) {
      case ControlKind::drop_down:
        return event == ControlEvent::selection_changed;
      case ControlKind::edit:
        return event == ControlEvent::text_changed;
      case ControlKind::button:
        return event == ControlEvent::clicked;
      default:
        return false;
    }
  }
  return false;
}
