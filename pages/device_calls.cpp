#include "pages/device_calls.h"

#include "common/code_pages.h"
#include "common/program_strings.h"
#include "device/settings_rules.h"
#include "pages/dlg_rs485.h"

bool Connect(ConverterDevice& device, WindowHandle owner, bool show_messages,
             std::string* error_text) {
  const DeviceOutcome connected = device.Connect();
  if (connected) return true;
  if (show_messages)
    ShowDeviceError(owner, connected.text, ProgramText(IDS_ERROR_CAPTION));
  else if (error_text)
    *error_text = connected.text;
  return false;
}

Rs485WriteOutcome WriteRs485Settings(ConverterDevice& device, CDlgRs485* page) {
  PortSettings& rs = device.Rs485Set();
  const auto correction =
      settings_rules::Check(settings_rules::Rule::kConverterAddressCorrection, rs);
  if (correction) {
    // Shown even in the silent state: the user must learn that another address
    // than the one entered is being written.
    UserNotices& notices = Notices();
    notices.ShowMessage(notices.MainWindow(), Utf8ToCp1251(correction->text),
                        Utf8ToCp1251(correction->caption), correction->icon);
    settings_rules::ApplyCorrection(*correction, rs);
    if (page) page->OnAddressCorrected(rs.address);
  }
  Rs485WriteOutcome written = device.WriteRs485Settings();
  written.corrected = written.corrected || correction.has_value();
  return written;
}
