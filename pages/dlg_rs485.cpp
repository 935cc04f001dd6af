#include "pages/dlg_rs485.h"

#include <cstdlib>
#include <string>

#include "common/code_pages.h"
#include "common/resource_ids.h"
#include "common/setting_values.h"
#include "device/converter_device.h"
#include "device/settings_rules.h"
#include "pages/line_controls.h"
#include "pages/page_texts.h"

namespace lc = line_controls;
namespace sr = settings_rules;
using sr::Rule;

namespace {

// In the order of ProtocolItem.
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

// The protocol list's choice; RAVIK with none.
ProtocolItem SelectedProtocol(ControlLayer& ui) {
  return ProtocolItemOf(ui.GetSelection(IDC_PROTOCOL)).value_or(ProtocolItem::kRavik);
}

}  // namespace

CDlgRs485::CDlgRs485() : CDlgPage(IDD_RS485, IDS_TAB_RS485) {}

std::span<const ControlDef> CDlgRs485::Controls() const { return kControls; }

bool CDlgRs485::OnInitDialog() {
  CDlgPage::OnInitDialog();
  ControlLayer& ui = Ui();
  ui.SetSpinRange(IDC_RS485_ADDRESS_SPIN, 0, sr::kMaxAddress8);
  ui.SetSpinRange(IDC_RS485_DELAY_SPIN, 0, sr::kMaxAnswerDelayMs);
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
  // A stored value that names no protocol shows as RAVIK.
  const Protocol protocol = ProtocolOf(record.proto).value_or(Protocol::kRavik);
  ui.SetSelection(IDC_PROTOCOL, ToValue(ItemOfProtocol(protocol)));
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
  record.proto = ToValue(ProtocolOfItem(SelectedProtocol(ui)));
  lc::ReadEditNumber(ui, IDC_RS485_ADDRESS, record.address);
  lc::ReadEditNumber(ui, IDC_RS485_DELAY, record.delay);
  CorrectDelay(record);
  ui.SetSpinPos(IDC_RS485_DELAY_SPIN, record.delay);
}

void CDlgRs485::CorrectDelay(PortSettings& record) {
  const auto correction = sr::Check(Rule::kDelayCorrection, record);
  if (!correction) return;
  ControlLayer& ui = Ui();
  lc::ShowFinding(ui, *correction);
  sr::ApplyCorrection(*correction, record);
  ui.SetText(IDC_RS485_DELAY, std::to_string(record.delay));
  ui.Focus(IDC_RS485_DELAY);
}

PortSettings CDlgRs485::Entered() {
  ControlLayer& ui = Ui();
  PortSettings entered = lc::EnteredAddress(ui, IDC_RS485_ADDRESS, IDC_ADDRESS_LENGTH);
  entered.baud = lc::SelectedBaud(ui, IDC_BAUD);
  const int bits_item = ui.GetSelection(IDC_BYTESIZE);
  entered.bytesize = bits_item >= 0 ? std::atoi(ui.ItemText(IDC_BYTESIZE, bits_item).c_str()) : 0;
  entered.proto = ToValue(ProtocolOfItem(SelectedProtocol(ui)));
  lc::ReadEditNumber(ui, IDC_RS485_DELAY, entered.delay);
  return entered;
}

bool CDlgRs485::Validate() {
  ControlLayer& ui = Ui();
  const PortSettings entered = Entered();
  // Without a rate the set would be saved with baud 0, which the converter has no
  // code for: it would be written as "no such rate" and put into effect.
  if (const auto refused = sr::Check(Rule::kRateChosen, entered)) {
    lc::ShowFinding(ui, *refused);
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
  if (const auto refused = sr::Check(Rule::kDelayRange, entered)) {
    lc::ShowFinding(ui, *refused);
    // The edit is offered the delay a stored one out of range becomes.
    ui.SetText(IDC_RS485_DELAY, std::to_string(refused->replacement.value_or(delay)));
    ui.Focus(IDC_RS485_DELAY);
    return false;
  }
  return CheckWordLength(entered);
}

bool CDlgRs485::CheckWordLength(const PortSettings& entered) {
  auto correction = sr::Check(Rule::kModbusRtuWordLength, entered);
  if (!correction) correction = sr::Check(Rule::kModbusAsciiWordLength, entered);
  if (!correction) return true;
  ControlLayer& ui = Ui();
  lc::ShowFinding(ui, *correction);
  // The list may be disabled; it is enabled for the change so that it shows it.
  const bool was_enabled = ui.IsEnabled(IDC_BYTESIZE);
  ui.Enable(IDC_BYTESIZE, true);
  lc::SelectByteSize(ui, *correction->replacement);
  if (ConverterDevice* device = Device()) sr::ApplyCorrection(*correction, device->Rs485Set());
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
    lc::WarnUnsupportedFrame(ui, Rule::kRs485UnsupportedFrame);
  if (id == IDC_ADDRESS_LENGTH) lc::SetAddressRange(ui, IDC_ADDRESS_LENGTH, IDC_RS485_ADDRESS_SPIN);
  SetModified(true);
}

void CDlgRs485::OnProtocolChanged() {
  ControlLayer& ui = Ui();
  const Protocol protocol = ProtocolOfItem(SelectedProtocol(ui));
  if (IsModbus(protocol)) {
    PortSettings entered;
    entered.proto = ToValue(protocol);
    entered.alen = lc::SelectedAddressLength(ui, IDC_ADDRESS_LENGTH);
    // Modbus addresses have 8 bits: an 11-bit address keeps its high bits.
    if (const auto correction = sr::Check(Rule::kModbusAddressLength, entered)) {
      const int32_t alen = *correction->replacement;
      ui.SetSelection(IDC_ADDRESS_LENGTH, lc::AddressLengthPosition(alen));
      // The position is taken in the 11-bit range, before the range shrinks.
      ui.SetSpinPos(IDC_RS485_ADDRESS_SPIN,
                    sr::EightBitAddressOf(ui.GetSpinPos(IDC_RS485_ADDRESS_SPIN)));
      ui.SetSpinRange(IDC_RS485_ADDRESS_SPIN, 0, sr::MaxAddress(alen));
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
