#include "pages/dlg_settings.h"

#include <algorithm>
#include <string>

#include "common/baud_rates.h"
#include "common/code_pages.h"
#include "common/resource_ids.h"
#include "common/setting_values.h"
#include "device/converter_device.h"
#include "device/settings_rules.h"
#include "link/serio.h"
#include "pages/line_controls.h"
#include "pages/page_texts.h"

namespace lc = line_controls;
namespace sr = settings_rules;

namespace {

constexpr const char* kAdaptorItems[] = {"Автоматический", "Управляемый (KV8)"};
// List positions of the adaptor list.
constexpr int kAdaptorAutomaticItem = 0;
constexpr int kAdaptorControlledItem = 1;
// The port list's only item on a computer without serial ports.
constexpr const char* kNoPortItem = "<Отсутствует>";
constexpr intptr_t kNoPortData = -1;

constexpr ControlDef kControls[] = {
    {.id = IDC_PORT, .kind = ControlKind::drop_down, .label = "COM-порт", .tooltip = IDS_TIP_PORT,
     .group = lc::kPortGroup},
    {.id = IDC_ADAPTOR, .kind = ControlKind::drop_down, .label = "Тип преобразователя",
     .items = kAdaptorItems, .tooltip = IDS_TIP_ADAPTOR, .group = lc::kPortGroup},
    {.id = IDC_BAUD, .kind = ControlKind::drop_down, .label = "Скорость",
     .tooltip = IDS_TIP_LINK_BAUD, .group = lc::kPortGroup},
    lc::kByteSizeControl,
    lc::kParityControl,
    lc::kStopBitsControl,
    lc::kAddressLengthControl,
    lc::AddressEditControl(IDC_LINK_ADDRESS),
    lc::AddressSpinControl(IDC_LINK_ADDRESS_SPIN, IDC_LINK_ADDRESS),
    {.id = IDC_DEFAULTS, .kind = ControlKind::button, .label = "Настройки по умолчанию",
     .tooltip = IDS_TIP_DEFAULTS},
};

std::vector<int> ComputerPorts() {
  std::vector<int> ports;
  list_serial_ports(ports);
  return ports;
}

}  // namespace

CDlgSettings::CDlgSettings() : CDlgPage(IDD_SETTINGS, IDS_TAB_SETTINGS), portLister_(ComputerPorts) {}

std::span<const ControlDef> CDlgSettings::Controls() const { return kControls; }

bool CDlgSettings::OnInitDialog() {
  CDlgPage::OnInitDialog();
  ControlLayer& ui = Ui();
  FillFixedLists();
  lc::FillBaudList(ui, IDC_BAUD);
  ports_ = portLister_ ? portLister_() : std::vector<int>{};
  ui.ResetItems(IDC_PORT);
  for (int n : ports_) ui.AddItem(IDC_PORT, "COM" + std::to_string(n), n);
  noPorts = ports_.empty();
  if (noPorts) {
    ui.AddItem(IDC_PORT, Utf8ToCp1251(kNoPortItem), kNoPortData);
    ui.SetSelection(IDC_PORT, 0);
    ui.Enable(IDC_PORT, false);
  }
  ui.SetSpinRange(IDC_LINK_ADDRESS_SPIN, 0, sr::kMaxAddress8);
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
    for (int i = 0, count = ui.ItemCount(IDC_PORT); i < count; ++i)
      if (ui.ItemData(IDC_PORT, i) == number) ui.SetSelection(IDC_PORT, i);
  ui.SetSelection(IDC_ADAPTOR, AdaptorOf(record.adaptor) == Adaptor::kControlled
                                   ? kAdaptorControlledItem
                                   : kAdaptorAutomaticItem);
  lc::SelectBaud(ui, IDC_BAUD,
                 is_standard_baud_rate(record.baud) ? record.baud : sr::kFallbackLinkBaud);
  lc::SelectFrame(ui, record);
  lc::SelectAddressLength(ui, IDC_ADDRESS_LENGTH, IDC_LINK_ADDRESS_SPIN, record.alen);
  ui.SetSpinPos(IDC_LINK_ADDRESS_SPIN, record.address & 0xFFFF);
}

void CDlgSettings::ReadControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  if (!noPorts) {
    const int port = ui.GetSelection(IDC_PORT);
    record.port = port >= 0 ? ui.ItemText(IDC_PORT, port) : std::string();
  }
  record.adaptor = ToValue(ui.GetSelection(IDC_ADAPTOR) == kAdaptorControlledItem
                               ? Adaptor::kControlled
                               : Adaptor::kAutomatic);
  record.baud = lc::SelectedBaud(ui, IDC_BAUD);
  lc::ReadFrame(ui, record);
  record.alen = lc::SelectedAddressLength(ui, IDC_ADDRESS_LENGTH);
  record.address = ui.GetSpinPos(IDC_LINK_ADDRESS_SPIN);
}

bool CDlgSettings::Validate() {
  ControlLayer& ui = Ui();
  return lc::CheckAddressNotEmpty(ui, IDC_LINK_ADDRESS) &&
         lc::CheckAddressInRange(ui, IDC_LINK_ADDRESS, IDC_ADDRESS_LENGTH);
}

bool CDlgSettings::OnKillActive() {
  if (!Validate()) return false;
  Sheet().ApplyActivePage();
  if (!CDlgPage::OnKillActive()) return false;
  ControlLayer& ui = Ui();
  ui.SetCursor(Cursor::wait);
  const int link = Sheet().CheckLink();
  ui.SetCursor(Cursor::arrow);
  // The positive answers (LinkCheck::kNoLink, kRs485Refused) keep the user here;
  // without a link in the silent state the page is left without a word.
  if (link > 0) {
    lc::ShowBox(ui, Utf8ToCp1251(page_text::kTabsBlocked), page_text::kTabsBlockedCaption,
                kNoticeIconError);
    return false;
  }
  return true;
}

bool CDlgSettings::OnApply() {
  if (!initialized) return CDlgPage::OnApply();
  ControlLayer& ui = Ui();
  if (const auto correction =
          sr::Check(sr::Rule::kLinkAddressCorrection,
                    lc::EnteredAddress(ui, IDC_LINK_ADDRESS, IDC_ADDRESS_LENGTH))) {
    lc::ShowFinding(ui, *correction);
    ui.SetSpinPos(IDC_LINK_ADDRESS_SPIN, *correction->replacement);
  }
  return CDlgPage::OnApply();
}

void CDlgSettings::OnControl(int id, ControlEvent event) {
  if (!IsUserChange(id, event)) return;
  if (id == IDC_DEFAULTS) return LoadDefaults();
  ControlLayer& ui = Ui();
  // The address length runs no frame check on this page.
  if (lc::IsFrameList(id)) lc::WarnUnsupportedFrame(ui, sr::Rule::kLinkUnsupportedFrame);
  if (id == IDC_ADDRESS_LENGTH) lc::SetAddressRange(ui, IDC_ADDRESS_LENGTH, IDC_LINK_ADDRESS_SPIN);
  SetModified(true);
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
