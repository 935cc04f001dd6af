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

constexpr const char* kPortGroup = "Настройки порта";
constexpr const char* kProtocolGroup = "Протокол";

constexpr ControlSpec kControls[] = {
    {.id = CDlgRs485::kBaud, .kind = ControlKind::drop_down, .label = "Скорость",
     .tooltip = IDS_TIP_RS485_BAUD, .group = kPortGroup},
    {.id = CDlgRs485::kByteSize, .kind = ControlKind::drop_down, .label = "Длина слова",
     .items = lc::kByteSizeItems, .tooltip = IDS_TIP_BYTESIZE, .group = kPortGroup},
    {.id = CDlgRs485::kParity, .kind = ControlKind::drop_down, .label = "Чётность",
     .items = lc::kParityItems, .tooltip = IDS_TIP_PARITY, .group = kPortGroup},
    {.id = CDlgRs485::kStopBits, .kind = ControlKind::drop_down, .label = "Стоп бит",
     .items = lc::kStopBitsItems, .tooltip = IDS_TIP_STOPBITS, .group = kPortGroup},
    {.id = CDlgRs485::kProtocol, .kind = ControlKind::drop_down, .label = "Тип",
     .items = kProtocolItems, .tooltip = IDS_TIP_PROTOCOL, .group = kProtocolGroup},
    {.id = CDlgRs485::kAddressLength, .kind = ControlKind::drop_down, .label = "Длина адреса",
     .items = lc::kAddressLengthItems, .tooltip = IDS_TIP_ADDRESS_LENGTH,
     .group = kProtocolGroup},
    {.id = CDlgRs485::kAddress, .kind = ControlKind::edit, .label = "Адрес",
     .tooltip = IDS_TIP_ADDRESS, .group = kProtocolGroup},
    {.id = CDlgRs485::kAddressSpin, .kind = ControlKind::spin, .buddy = CDlgRs485::kAddress,
     .group = kProtocolGroup},
    {.id = CDlgRs485::kDelay, .kind = ControlKind::edit, .label = "Задержка",
     .tooltip = IDS_TIP_DELAY, .unit = "мс", .group = kProtocolGroup},
    {.id = CDlgRs485::kDelaySpin, .kind = ControlKind::spin, .buddy = CDlgRs485::kDelay,
     .group = kProtocolGroup},
};

static_assert(CDlgRs485::kByteSize == lc::kByteSizeList && CDlgRs485::kParity == lc::kParityList &&
              CDlgRs485::kStopBits == lc::kStopBitsList);

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

std::span<const ControlSpec> CDlgRs485::Controls() const { return kControls; }

bool CDlgRs485::OnInitDialog() {
  CDlgPage::OnInitDialog();
  ControlLayer& ui = Ui();
  ui.SetSpinRange(kAddressSpin, 0, lc::kMaxAddress8);
  ui.SetSpinRange(kDelaySpin, 0, kMaxDelay);
  lc::FillBaudList(ui, kBaud);
  FillFixedLists();
  RegisterTooltips();
  return true;
}

void CDlgRs485::ExchangeSettings(ConverterDevice* device, bool save, bool force) {
  if (device) ExchangeRecord(device->Rs485Set(), save, force);
}

void CDlgRs485::FillControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  lc::SelectBaud(ui, kBaud, record.baud);
  lc::SelectFrame(ui, record);
  lc::SelectAddressLength(ui, kAddressLength, kAddressSpin, record.alen);
  const int protocol = PositionOfProto(record.proto);
  ui.SetSelection(kProtocol, protocol);
  ui.Enable(kAddressLength, !IsModbus(protocol));
  CorrectDelay(record);
  ui.SetSpinPos(kDelaySpin, record.delay);
  ui.SetSpinPos(kAddressSpin, record.address & 0xFFFF);
  ui.SetText(kAddress, std::to_string(record.address));
}

void CDlgRs485::ReadControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  record.baud = lc::SelectedBaud(ui, kBaud);
  lc::ReadFrame(ui, record);
  record.alen = lc::SelectedAddressLength(ui, kAddressLength);
  record.proto = ProtoOfPosition(ui.GetSelection(kProtocol));
  lc::ReadEditNumber(ui, kAddress, record.address);
  lc::ReadEditNumber(ui, kDelay, record.delay);
  CorrectDelay(record);
  ui.SetSpinPos(kDelaySpin, record.delay);
}

void CDlgRs485::CorrectDelay(PortSettings& record) {
  if (record.delay >= 0 && record.delay <= kMaxDelay) return;
  ControlLayer& ui = Ui();
  lc::ShowBox(ui, lc::Format(page_text::kDelayCorrected, record.delay, kFallbackDelay),
              page_text::kDelayCorrectedCaption, kNoticeIconError);
  record.delay = kFallbackDelay;
  ui.SetText(kDelay, std::to_string(kFallbackDelay));
  ui.Focus(kDelay);
}

bool CDlgRs485::Validate() {
  ControlLayer& ui = Ui();
  if (!lc::CheckAddressNotEmpty(ui, kAddress)) return false;
  int delay = 0;
  if (!lc::ReadEditNumber(ui, kDelay, delay)) {
    lc::ShowBox(ui, Utf8ToCp1251(page_text::kEmptyField), page_text::kCannotContinue,
                kNoticeIconError);
    ui.Focus(kDelay);
    return false;
  }
  if (!lc::CheckAddressInRange(ui, kAddress, kAddressLength)) return false;
  if (delay < 0 || delay > kMaxDelay) {
    lc::ShowBox(ui, lc::Format(page_text::kDelayRefused, delay), page_text::kCannotDo,
                kNoticeIconError);
    ui.SetText(kDelay, std::to_string(kFallbackDelay));
    ui.Focus(kDelay);
    return false;
  }
  return CheckWordLength();
}

bool CDlgRs485::CheckWordLength() {
  ControlLayer& ui = Ui();
  const int protocol = ui.GetSelection(kProtocol);
  if (!IsModbus(protocol)) return true;
  const int required = protocol == kProtocolRtu ? 8 : 7;
  const int bits_item = ui.GetSelection(kByteSize);
  int bits = 0;
  if (bits_item >= 0) bits = std::atoi(ui.ItemText(kByteSize, bits_item).c_str());
  if (bits == required) return true;
  lc::ShowBox(ui,
              lc::Format(protocol == kProtocolRtu ? page_text::kWordLengthRtu
                                                  : page_text::kWordLengthAscii,
                         bits),
              page_text::kCannotDo, kNoticeIconError);
  // The list may be disabled; it is enabled for the change so that it shows it.
  const bool was_enabled = ui.IsEnabled(kByteSize);
  ui.Enable(kByteSize, true);
  ui.SetSelection(kByteSize, required == 8 ? 1 : 0);
  if (ConverterDevice* device = Device()) device->Rs485Set().bytesize = required;
  ui.Redraw(kByteSize);
  ui.Redraw(0);
  ui.Enable(kByteSize, was_enabled);
  return false;
}

bool CDlgRs485::OnKillActive() { return Validate() && CDlgPage::OnKillActive(); }

void CDlgRs485::OnControl(int id, ControlEvent event) {
  if (updating) return;
  ControlLayer& ui = Ui();
  switch (id) {
    case kBaud:
      if (event == ControlEvent::selection_changed) SetModified(true);
      break;
    case kByteSize:
    case kParity:
    case kStopBits:
      if (event != ControlEvent::selection_changed) break;
      lc::WarnUnsupportedFrame(ui, page_text::kUnsupportedFrameCaptionRs485);
      SetModified(true);
      break;
    case kProtocol:
      if (event == ControlEvent::selection_changed) OnProtocolChanged();
      break;
    case kAddressLength:
      if (event != ControlEvent::selection_changed) break;
      lc::WarnUnsupportedFrame(ui, page_text::kUnsupportedFrameCaptionRs485);
      lc::SetAddressRange(ui, kAddressLength, kAddressSpin);
      SetModified(true);
      break;
    case kAddress:
    case kDelay:
      if (event == ControlEvent::text_changed) SetModified(true);
      break;
    default:
      break;
  }
}

void CDlgRs485::OnProtocolChanged() {
  ControlLayer& ui = Ui();
  if (IsModbus(ui.GetSelection(kProtocol))) {
    // Modbus addresses have 8 bits: an 11-bit address keeps its high bits.
    if (ui.GetSelection(kAddressLength) == 1) {
      ui.SetSelection(kAddressLength, 0);
      ui.SetSpinPos(kAddressSpin, ui.GetSpinPos(kAddressSpin) / 8);
      ui.SetSpinRange(kAddressSpin, 0, lc::kMaxAddress8);
    }
    ui.Enable(kAddressLength, false);
  } else {
    ui.Enable(kAddressLength, true);
  }
  SetModified(true);
}

void CDlgRs485::OnFieldCorrected(CorrectedField field, int value) {
  if (field != CorrectedField::kRs485Address || !initialized) return;
  Ui().SetText(kAddress, std::to_string(value));
  Ui().Focus(kDelay);
}
