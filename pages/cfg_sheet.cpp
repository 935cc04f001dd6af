#include "pages/cfg_sheet.h"

#include <string>

#include "common/program_strings.h"
#include "device/converter_device.h"
#include "device/notices.h"
#include "store/codepage.h"

namespace {

// The checks of a page before its apply; a page whose window does not exist has
// nothing to check (and holds no edits).
bool ChecksPass(CDlgPage& page) { return !page.initialized || page.Validate(); }

}  // namespace

CCfgSheet::CCfgSheet(ConverterDevice* device) : device_(device) {
  for (int i = 0; i < kPageCount; ++i) Page(i).SetDevice(device);
}

CDlgPage& CCfgSheet::Page(int index) {
  switch (index) {
    case kSettingsPage:
      return settings_;
    case kRs485Page:
      return rs485_;
    case kLoopPage:
      return loop_;
    default:
      return test_;
  }
}

void CCfgSheet::OnInitDialog() { OnPageNotification(WM_PAGE_CLEAN); }

void CCfgSheet::OnPageNotification(unsigned notification) {
  if (!host_) return;
  switch (notification) {
    case WM_PAGE_BUSY:
      busy = true;
      host_->EnableButton(kSheetOk, false);
      host_->EnableButton(kSheetCancel, false);
      host_->EnableButton(kSheetApply, false);
      host_->EnableTabs(false);
      host_->SetCursor(Cursor::wait);
      break;
    case WM_PAGE_IDLE:
      busy = false;
      host_->EnableButton(kSheetOk, true);
      host_->EnableButton(kSheetCancel, true);
      host_->EnableButton(kSheetApply, applyWasEnabled);
      host_->EnableTabs(true);
      host_->SetCursor(Cursor::arrow);
      break;
    case WM_PAGE_MODIFIED:
      SetApplyEnabled(true);
      break;
    case WM_PAGE_CLEAN:
      SetApplyEnabled(false);
      break;
    default:
      break;
  }
}

// While busy the button stays disabled; the state it returns to follows.
void CCfgSheet::SetApplyEnabled(bool enabled) {
  applyWasEnabled = enabled;
  if (!busy && host_) host_->EnableButton(kSheetApply, enabled);
}

void CCfgSheet::PageChanged() { SetApplyEnabled(true); }

WindowHandle CCfgSheet::Window() { return host_ ? host_->Window() : nullptr; }

bool CCfgSheet::ApplyActivePage() {
  switch (host_ ? host_->ActivePage() : -1) {
    case kSettingsPage:
      return ApplyLink();
    case kRs485Page:
      return ApplyRs485();
    case kLoopPage:
      return ApplyLoop();
    default:
      return true;
  }
}

void CCfgSheet::ReportError(const std::string& text) {
  ShowDeviceError(Window(), text, ProgramText(IDS_ERROR_CAPTION));
}

bool CCfgSheet::ConnectForApply() {
  std::string error;
  if (device_->Connect(Window(), false, &error)) return true;
  device_->ClosePort();
  Idle();
  ReportError(error);
  return false;
}

bool CCfgSheet::FailWrite(int string_id) {
  device_->ClosePort();
  Idle();
  ReportError(ProgramText(string_id));
  return false;
}

bool CCfgSheet::ApplyLink() {
  if (!ChecksPass(settings_)) return false;
  settings_.OnApply();
  settings_.ExchangeSettings(device_, true, false);
  Busy();
  if (!ConnectForApply()) return false;
  device_->ClosePort();
  Idle();
  PortSettings& stored_link = device_->StoredLinkSet();
  stored_link = device_->LinkSet();
  // The converter has just answered at these settings: they are its network
  // settings, unless the user is editing those; its protocol is not the link's.
  if (!rs485_.modified) {
    PortSettings& rs = device_->Rs485Set();
    const int32_t proto = rs.proto;
    rs = stored_link;
    rs.proto = proto;
    device_->StoredRs485Set() = rs;
    // The RS-485 page shows the new values when it is next activated.
    rs.changed = true;
  }
  settings_.ExchangeSettings(device_, false, true);
  settings_.SetModified(false);
  return true;
}

bool CCfgSheet::ApplyRs485() {
  if (!ChecksPass(rs485_)) return false;
  rs485_.ExchangeSettings(device_, true, false);
  Busy();
  if (!ConnectForApply()) return false;
  // The page is told through the notices when its address had to be corrected.
  if (!device_->WriteRs485Settings(static_cast<CDlgPage*>(&rs485_)))
    return FailWrite(IDS_RS485_WRITE_FAILED);
  device_->ClosePort();
  // The link set now holds the converter's new settings.
  settings_.ExchangeSettings(device_, false, true);
  Idle();
  rs485_.SetModified(false);
  settings_.SetModified(false);
  return true;
}

bool CCfgSheet::ApplyLoop() {
  if (!ChecksPass(loop_)) return false;
  Busy();
  loop_.ExchangeSettings(device_, true, false);
  if (!ConnectForApply()) return false;
  if (!device_->WriteLoopSettings()) return FailWrite(IDS_LOOP_WRITE_FAILED);
  // A converter woken from Modbus goes back to the protocol of its RS-485 set.
  device_->RestoreConverterProtocol(true);
  device_->ClosePort();
  Idle();
  loop_.SetModified(false);
  return true;
}

void CCfgSheet::OnOK() {
  for (CDlgPage* page : {static_cast<CDlgPage*>(&settings_), static_cast<CDlgPage*>(&rs485_),
                         static_cast<CDlgPage*>(&loop_)})
    if (!ChecksPass(*page)) return;
  // A failed apply has been reported; the sheet closes all the same, and what was
  // not written does not reach the stored settings.
  if ((!settings_.modified || ApplyLink()) && (!rs485_.modified || ApplyRs485()) &&
      loop_.modified)
    ApplyLoop();
  if (host_) host_->EndSheet(kResultOk);
}

void CCfgSheet::OnCancel() {
  if (host_) host_->EndSheet(kResultCancel);
}

bool CCfgSheet::OnClose() {
  if (!CanClose()) return false;
  OnCancel();
  return true;
}

int CCfgSheet::CheckLink() {
  if (rs485_.initialized) {
    if (!rs485_.Validate()) return 2;
    rs485_.ExchangeSettings(device_, true, false);
  }
  if (device_->Connect(Window(), false, nullptr)) return 0;
  device_->ClosePort();
  return SilentState() ? -1 : 1;
}
