#include "pages/dlg_page.h"

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
    if (modified) ReadControls(record);
    return;
  }
  AnnounceModified();
  if (!needsRefresh && !force && !record.changed) return;
  record.changed = false;
  updating = true;
  needsRefresh = false;
  FillControls(record);
  updating = false;
}
