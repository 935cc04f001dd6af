#include "pages/dlg_rs485.h"

#include <cstdlib>
#include <string>

#include "common/resource_ids.h"
#include "device/converter_device.h"
#include "pages/line_controls.h"
#include "pages/page_texts.h"
#include "store/codepage.h"

namespace lc = line_controls;

namespace {

constexpr const char* kProtocolItems[] = {"RAVIK", "MODBUS-RTU", "MODBUS-ASCII"};

constexpr ControlDef kControls[] = {
    {.id = IDC_BAUD, .kind = ControlKind::drop_down, .label = "Скорость",
     .tooltip = IDS_TIP_RS485_BAUD, .group = lc::kPortGroup},
    lc::kByteSizeControl,
    lc::kParityControl,
    lc::kStopBitsControl,
    {.id = IDC_PROTOCOL, .kind = ControlKind::drop_down, .label = "Тип", .items = kProtocolItems,
     .tooltip = IDS_TIP_PROTOCOL, .group = lc::kProtocolGroup},
    lc::kAddressLengthControl,
    lc::AddressEditControl(IDC_RS485_ADDRESS),
    lc::AddressSpinControl(IDC_RS485_ADDRESS_SPIN, IDC_RS485_ADDRESS),
    {.id = IDC_RS485_DELAY, .kind = ControlKind::edit, .label = "Задержка",
     .tooltip = IDS_TIP_DELAY, .unit = "мс", .group = lc::kProtocolGroup},
    {.id = IDC_RS485_DELAY_SPIN, .kind = ControlKind::spin, .buddy = IDC_RS485_DELAY,
     .group = lc::kProtocolGroup},
};

// List position <-> the RS-485 set's proto (0 RAVIK, 1 Modbus ASCII, 2 Modbus RTU).
int ProtoOfPosition(int position) {
  return position == CDlgRs485::kProtocolRtu ? 2 : position == CDlgRs485::kProtocolAscii ? 1 : 0;
}
int PositionOfProto(int proto) {
  return proto == 2 ? CDlgRs485::kProtocolRtu
                    : proto == 1 ? CDlgRs485::kProtocolAscii : CDlgRs485::kProtocolRavik;
}

bool IsModbus(int position) {
  return position == CDlgRs485::kProtocolRtu || position == CDlgRs485::kProtocolAscii;
}

}  // namespace

CDlgRs485::CDlgRs485() : CDlgPage(IDD_RS485, IDS_TAB_RS485) {}

std::span<const ControlDef> CDlgRs485::Controls() const { return kControls; }

bool CDlgRs485::OnInitDialog() {
  CDlgPage::OnInitDialog();
  ControlLayer& ui = Ui();
  ui.SetSpinRange(IDC_RS485_ADDRESS_SPIN, 0, lc::kMaxAddress8);
  ui.SetSpinRange(IDC_RS485_DELAY_SPIN, 0, kMaxDelay);
  lc::FillBaudList(ui, IDC_BAUD);
  FillFixedLists();
  RegisterTooltips();
  return true;
}

void CDlgRs485::ExchangeSettings(ConverterDevice* device, bool save, bool force) {
  if (device) ExchangeRecord(device->Rs485Set(), save, force);
}

void CDlgRs485::FillControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  lc::SelectBaud(ui, IDC_BAUD, record.baud);
  lc::SelectFrame(ui, record);
  lc::SelectAddressLength(ui, IDC_ADDRESS_LENGTH, IDC_RS485_ADDRESS_SPIN, record.alen);
  const int protocol = PositionOfProto(record.proto);
  ui.SetSelection(IDC_PROTOCOL, protocol);
  ui.Enable(IDC_ADDRESS_LENGTH, !IsModbus(protocol));
  CorrectDelay(record);
  ui.SetSpinPos(IDC_RS485_DELAY_SPIN, record.delay);
  ui.SetSpinPos(IDC_RS485_ADDRESS_SPIN, record.address & 0xFFFF);
  ui.SetText(IDC_RS485_ADDRESS, std::to_string(record.address));
}

void CDlgRs485::ReadControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  record.baud = lc::SelectedBaud(ui, IDC_BAUD);
  lc::ReadFrame(ui, record);
  record.alen = lc::SelectedAddressLength(ui, IDC_ADDRESS_LENGTH);
  record.proto = ProtoOfPosition(ui.GetSelection(IDC_PROTOCOL));
  lc::ReadEditNumber(ui, IDC_RS485_ADDRESS, record.address);
  lc::ReadEditNumber(ui, IDC_RS485_DELAY, record.delay);
  CorrectDelay(record);
  ui.SetSpinPos(IDC_RS485_DELAY_SPIN, record.delay);
}

void CDlgRs485::CorrectDelay(PortSettings& record) {
  if (record.delay >= 0 && record.delay <= kMaxDelay) return;
  ControlLayer& ui = Ui();
  lc::ShowBox(ui, lc::Format(page_text::kDelayCorrected, record.delay, kFallbackDelay),
              page_text::kDelayCorrectedCaption, kNoticeIconError);
  record.delay = kFallbackDelay;
  ui.SetText(IDC_RS485_DELAY, std::to_string(kFallbackDelay));
  ui.Focus(IDC_RS485_DELAY);
}

bool CDlgRs485::Validate() {
  ControlLayer& ui = Ui();
  // Without a rate the set would be saved with baud 0, which the converter has no
  // code for: it would be written as "no such rate" and put into effect.
  if (ui.GetSelection(IDC_BAUD) < 0) {
    lc::ShowBox(ui, Utf8ToCp1251(page_text::kBaudNotChosen), page_text::kCannotDo,
                kNoticeIconError);
    ui.Focus(IDC_BAUD);
    return false;
  }
  if (!lc::CheckAddressNotEmpty(ui, IDC_RS485_ADDRESS)) return false;
  int delay = 0;
  if (!lc::ReadEditNumber(ui, IDC_RS485_DELAY, delay)) {
    lc::ShowBox(ui, Utf8ToCp1251(page_text::kEmptyField), page_text::kCannotContinue,
                kNoticeIconError);
    ui.Focus(IDC_RS485_DELAY);
    return false;
  }
  if (!lc::CheckAddressInRange(ui, IDC_RS485_ADDRESS, IDC_ADDRESS_LENGTH)) return false;
  if (delay < 0 || delay > kMaxDelay) {
    lc::ShowBox(ui, lc::Format(page_text::kDelayRefused, delay), page_text::kCannotDo,
                kNoticeIconError);
    ui.SetText(IDC_RS485_DELAY, std::to_string(kFallbackDelay));
    ui.Focus(IDC_RS485_DELAY);
    return false;
  }
  return CheckWordLength();
}

bool CDlgRs485::CheckWordLength() {
  ControlLayer& ui = Ui();
  const int protocol = ui.GetSelection(IDC_PROTOCOL);
  if (!IsModbus(protocol)) return true;
  const int required = protocol == kProtocolRtu ? 8 : 7;
  const int bits_item = ui.GetSelection(IDC_BYTESIZE);
  int bits = 0;
  if (bits_item >= 0) bits = std::atoi(ui.ItemText(IDC_BYTESIZE, bits_item).c_str());
  if (bits == required) return true;
  lc::ShowBox(ui,
              lc::Format(protocol == kProtocolRtu ? page_text::kWordLengthRtu
                                                  : page_text::kWordLengthAscii,
                         bits),
              page_text::kCannotDo, kNoticeIconError);
  // The list may be disabled; it is enabled for the change so that it shows it.
  const bool was_enabled = ui.IsEnabled(IDC_BYTESIZE);
  ui.Enable(IDC_BYTESIZE, true);
  ui.SetSelection(IDC_BYTESIZE, required == 8 ? 1 : 0);
  if (ConverterDevice* device = Device()) device->Rs485Set().bytesize = required;
  ui.Redraw(IDC_BYTESIZE);
  ui.Redraw(0);
  ui.Enable(IDC_BYTESIZE, was_enabled);
  return false;
}

bool CDlgRs485::OnKillActive() { return Validate() && CDlgPage::OnKillActive(); }

void CDlgRs485::OnControl(int id, ControlEvent event) {
  if (!IsUserChange(id, event)) return;
  if (id == IDC_PROTOCOL) return OnProtocolChanged();
  ControlLayer& ui = Ui();
  if (lc::IsFrameList(id) || id == IDC_ADDRESS_LENGTH)
    lc::WarnUnsupportedFrame(ui, page_text::kUnsupportedFrameCaptionRs485);
  if (id == IDC_ADDRESS_LENGTH) lc::SetAddressRange(ui, IDC_ADDRESS_LENGTH, IDC_RS485_ADDRESS_SPIN);
  SetModified(true);
}

void CDlgRs485::OnProtocolChanged() {
  ControlLayer& ui = Ui();
  if (IsModbus(ui.GetSelection(IDC_PROTOCOL))) {
    // Modbus addresses have 8 bits: an 11-bit address keeps its high bits.
    if (ui.GetSelection(IDC_ADDRESS_LENGTH) == 1) {
      ui.SetSelection(IDC_ADDRESS_LENGTH, 0);
      ui.SetSpinPos(IDC_RS485_ADDRESS_SPIN, ui.GetSpinPos(IDC_RS485_ADDRESS_SPIN) / 8);
      ui.SetSpinRange(IDC_RS485_ADDRESS_SPIN, 0, lc::kMaxAddress8);
    }
    ui.Enable(IDC_ADDRESS_LENGTH, false);
  } else {
    ui.Enable(IDC_ADDRESS_LENGTH, true);
  }
  SetModified(true);
}

void CDlgRs485::OnAddressCorrected(int address) {
  if (!initialized) return;
  Ui().SetText(IDC_RS485_ADDRESS, std::to_string(address));
  Ui().Focus(IDC_RS485_DELAY);
}
