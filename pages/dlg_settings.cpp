#include "pages/dlg_settings.h"

#include <algorithm>
#include <string>

#include "common/baud_rates.h"
#include "common/resource_ids.h"
#include "device/converter_device.h"
#include "device/device_texts.h"
#include "link/serio.h"
#include "pages/line_controls.h"
#include "pages/page_texts.h"
#include "store/codepage.h"

namespace lc = line_controls;

namespace {

constexpr const char* kAdaptorItems[] = {"Автоматический", "Управляемый (KV8)"};
constexpr int kAdaptorControlled = 1;
// The port list's only item on a computer without serial ports.
constexpr const char* kNoPortItem = "<Отсутствует>";
constexpr intptr_t kNoPortData = -1;

constexpr const char* kPortGroup = "Настройки порта";
constexpr const char* kProtocolGroup = "Протокол";

constexpr ControlSpec kControls[] = {
    {.id = CDlgSettings::kPort, .kind = ControlKind::drop_down, .label = "COM-порт",
     .tooltip = IDS_TIP_PORT, .group = kPortGroup},
    {.id = CDlgSettings::kAdaptor, .kind = ControlKind::drop_down, .label = "Тип преобразователя",
     .items = kAdaptorItems, .tooltip = IDS_TIP_ADAPTOR, .group = kPortGroup},
    {.id = CDlgSettings::kBaud, .kind = ControlKind::drop_down, .label = "Скорость",
     .tooltip = IDS_TIP_LINK_BAUD, .group = kPortGroup},
    {.id = CDlgSettings::kByteSize, .kind = ControlKind::drop_down, .label = "Длина слова",
     .items = lc::kByteSizeItems, .tooltip = IDS_TIP_BYTESIZE, .group = kPortGroup},
    {.id = CDlgSettings::kParity, .kind = ControlKind::drop_down, .label = "Чётность",
     .items = lc::kParityItems, .tooltip = IDS_TIP_PARITY, .group = kPortGroup},
    {.id = CDlgSettings::kStopBits, .kind = ControlKind::drop_down, .label = "Стоп бит",
     .items = lc::kStopBitsItems, .tooltip = IDS_TIP_STOPBITS, .group = kPortGroup},
    {.id = CDlgSettings::kAddressLength, .kind = ControlKind::drop_down, .label = "Длина адреса",
     .items = lc::kAddressLengthItems, .tooltip = IDS_TIP_ADDRESS_LENGTH,
     .group = kProtocolGroup},
    {.id = CDlgSettings::kAddress, .kind = ControlKind::edit, .label = "Адрес",
     .tooltip = IDS_TIP_ADDRESS, .group = kProtocolGroup},
    {.id = CDlgSettings::kAddressSpin, .kind = ControlKind::spin, .buddy = CDlgSettings::kAddress,
     .group = kProtocolGroup},
    {.id = CDlgSettings::kDefaults, .kind = ControlKind::button, .label = "Настройки по умолчанию",
     .tooltip = IDS_TIP_DEFAULTS},
};

static_assert(CDlgSettings::kByteSize == lc::kByteSizeList &&
              CDlgSettings::kParity == lc::kParityList &&
              CDlgSettings::kStopBits == lc::kStopBitsList);

std::vector<int> ComputerPorts() {
  std::vector<int> ports;
  list_serial_ports(ports);
  return ports;
}

}  // namespace

CDlgSettings::CDlgSettings() : CDlgPage(IDD_SETTINGS, IDS_TAB_SETTINGS), portLister_(ComputerPorts) {}

std::span<const ControlSpec> CDlgSettings::Controls() const { return kControls; }

bool CDlgSettings::OnInitDialog() {
  CDlgPage::OnInitDialog();
  ControlLayer& ui = Ui();
  FillFixedLists();
  lc::FillBaudList(ui, kBaud);
  ports_ = portLister_ ? portLister_() : std::vector<int>{};
  ui.ResetItems(kPort);
  for (int n : ports_) ui.AddItem(kPort, "COM" + std::to_string(n), n);
  noPorts = ports_.empty();
  if (noPorts) {
    ui.AddItem(kPort, Utf8ToCp1251(kNoPortItem), kNoPortData);
    ui.SetSelection(kPort, 0);
    ui.Enable(kPort, false);
  }
  ui.SetSpinRange(kAddressSpin, 0, lc::kMaxAddress8);
  RegisterTooltips();
  return true;
}

void CDlgSettings::ExchangeSettings(ConverterDevice* device, bool save, bool force) {
  if (device) ExchangeRecord(device->LinkSet(), save, force);
}

void CDlgSettings::FillControls(PortSettings& record) {
  Sheet().PageChanged();
  ControlLayer& ui = Ui();
  // A port that is not present is not selected: the previous selection stays.
  const int number = serial_port_number(Cp1251ToWide(record.port));
  if (number >= 0 && std::find(ports_.begin(), ports_.end(), number) != ports_.end())
    for (int i = 0, count = ui.ItemCount(kPort); i < count; ++i)
      if (ui.ItemData(kPort, i) == number) ui.SetSelection(kPort, i);
  ui.SetSelection(kAdaptor, record.adaptor == 1 ? kAdaptorControlled : 0);
  lc::SelectBaud(ui, kBaud, is_standard_baud_rate(record.baud) ? record.baud : kDefaultBaud);
  lc::SelectFrame(ui, record);
  lc::SelectAddressLength(ui, kAddressLength, kAddressSpin, record.alen);
  ui.SetSpinPos(kAddressSpin, record.address & 0xFFFF);
}

void CDlgSettings::ReadControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  if (!noPorts) {
    const int port = ui.GetSelection(kPort);
    record.port = port >= 0 ? ui.ItemText(kPort, port) : std::string();
  }
  record.adaptor = ui.GetSelection(kAdaptor) == kAdaptorControlled ? 1 : 0;
  record.baud = lc::SelectedBaud(ui, kBaud);
  lc::ReadFrame(ui, record);
  record.alen = lc::SelectedAddressLength(ui, kAddressLength);
  record.address = ui.GetSpinPos(kAddressSpin);
}

bool CDlgSettings::Validate() {
  ControlLayer& ui = Ui();
  return lc::CheckAddressNotEmpty(ui, kAddress) &&
         lc::CheckAddressInRange(ui, kAddress, kAddressLength);
}

bool CDlgSettings::OnKillActive() {
  if (!Validate()) return false;
  Sheet().ApplyActivePage();
  if (!CDlgPage::OnKillActive()) return false;
  ControlLayer& ui = Ui();
  ui.SetCursor(Cursor::wait);
  const int link = Sheet().CheckLink();
  ui.SetCursor(Cursor::arrow);
  if (link > 0) {
    lc::ShowBox(ui, Utf8ToCp1251(page_text::kTabsBlocked), page_text::kTabsBlockedCaption,
                kNoticeIconError);
    return false;
  }
  return true;
}

bool CDlgSettings::OnApply() {
  ControlLayer& ui = Ui();
  int address = 0;
  lc::ReadEditNumber(ui, kAddress, address);
  if (address < 0 || address > lc::MaxAddress(ui, kAddressLength)) {
    lc::ShowBox(ui, lc::Format(device_text::kAddressOutOfRange, address, kFallbackAddress),
                device_text::kAddressCaption, kNoticeIconError);
    ui.SetSpinPos(kAddressSpin, kFallbackAddress);
  }
  return CDlgPage::OnApply();
}

void CDlgSettings::OnControl(int id, ControlEvent event) {
  if (updating) return;
  ControlLayer& ui = Ui();
  switch (id) {
    case kDefaults:
      if (event == ControlEvent::clicked) LoadDefaults();
      break;
    case kPort:
    case kAdaptor:
    case kBaud:
      if (event == ControlEvent::selection_changed) SetModified(true);
      break;
    case kAddress:
      if (event == ControlEvent::text_changed) SetModified(true);
      break;
    case kByteSize:
    case kParity:
    case kStopBits:
      if (event != ControlEvent::selection_changed) break;
      lc::WarnUnsupportedFrame(ui, page_text::kUnsupportedFrameCaption);
      SetModified(true);
      break;
    case kAddressLength:
      if (event != ControlEvent::selection_changed) break;
      lc::SetAddressRange(ui, kAddressLength, kAddressSpin);
      SetModified(true);
      break;
    default:
      break;
  }
}

// The defaults are shown, not taken: the link set gets them only when the page is
// saved.
void CDlgSettings::LoadDefaults() {
  ConverterDevice* device = Device();
  if (!device) return;
  const PortSettings kept = device->LinkSet();
  device->ResetPortDefaults(&device->LinkSet());
  ExchangeSettings(device, false, true);
  device->LinkSet() = kept;
  SetModified(true);
}
