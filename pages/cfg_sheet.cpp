#include "pages/cfg_sheet.h"

#include <string>

#include "common/program_strings.h"
#include "common/setting_values.h"
#include "device/converter_device.h"
#include "pages/device_calls.h"
#include "pages/notices.h"

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
  const DeviceOutcome connected = device_->Connect();
  if (connected) return true;
  device_->ClosePort();
  Idle();
  ReportError(connected.text);
  return false;
}

bool CCfgSheet::FailWrite(const DeviceOutcome& written) {
  device_->ClosePort();
  Idle();
  ReportError(written.text);
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
  // An address the converter cannot take is shown corrected, on the page too,
  // before the write begins.
  if (const Rs485WriteOutcome written = WriteRs485Settings(*device_, &rs485_); !written)
    return FailWrite(written);
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
  if (const DeviceOutcome written = device_->WriteLoopSettings(); !written)
    return FailWrite(written);
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
    if (!rs485_.Validate()) return ToValue(LinkCheck::kRs485Refused);
    rs485_.ExchangeSettings(device_, true, false);
  }
  // The reason is not shown: the computer-port page says that there is no link.
  if (device_->Connect()) return ToValue(LinkCheck::kAnswered);
  device_->ClosePort();
  return ToValue(SilentState() ? LinkCheck::kNoLinkSilent : LinkCheck::kNoLink);
}
