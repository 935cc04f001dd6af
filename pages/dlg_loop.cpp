#include "pages/dlg_loop.h"

#include <cctype>
#include <cstdio>
#include <limits>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "common/program_strings.h"
#include "common/resource_ids.h"
#include "common/setting_values.h"
#include "device/converter_device.h"
#include "device/settings_rules.h"
#include "pages/device_calls.h"
#include "pages/line_controls.h"
#include "pages/page_texts.h"

namespace {

namespace lc = line_controls;
namespace sr = settings_rules;
using sr::Rule;

constexpr const char* kPollGroup = "Опрос";

constexpr ControlDef kControls[] = {
    {.id = IDC_LOOP_TYPE, .kind = ControlKind::drop_down, .label = "Тип прибора",
     .tooltip = IDS_TIP_LOOP_TYPE, .group = lc::kPortGroup},
    {.id = IDC_BAUD, .kind = ControlKind::drop_down, .label = "Скорость",
     .tooltip = IDS_TIP_LOOP_BAUD, .group = lc::kPortGroup},
    lc::kByteSizeControl,
    lc::kParityControl,
    lc::kStopBitsControl,
    {.id = IDC_LOOP_POLL, .kind = ControlKind::edit, .label = "Частота опроса",
     .tooltip = IDS_TIP_LOOP_POLL, .unit = "с", .group = kPollGroup},
    {.id = IDC_LOOP_POLL_SPIN, .kind = ControlKind::spin, .buddy = IDC_LOOP_POLL,
     .group = kPollGroup},
    {.id = IDC_LOOP_READ, .kind = ControlKind::button, .label = "Считать настройки"},
};

// The spin's range before an instrument is chosen, from the converter's shortest
// polling interval on.
constexpr int kPollSpinLow = sr::kLeastPollS;
constexpr int kPollSpinHigh = 1000;

std::string Text(const char* utf8) { return Utf8ToCp1251(utf8); }

std::string Decimal(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  return text;
}

// A number in an edit, read as the window system reads a signed number from a
// dialog item: leading blanks skipped, an optional minus sign, the digits up to
// the first other character; 0 when there is no digit or the number does not fit.
// `found` tells whether there was a digit.
int ReadSignedInt(const std::string& text, bool* found = nullptr) {
  if (found) *found = false;
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  long long value = 0;
  bool digits = false;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<int>::max()) return 0;
    digits = true;
  }
  if (found) *found = digits;
  if (!digits) return 0;
  return static_cast<int>(negative ? -value : value);
}

// List positions and loop-set values: word length 7/8, parity none/odd/even (the
// positions are Parity's values), one or two stop bits. A list without a choice
// saves 8 bits, no parity, one stop bit.
int ByteSizeIndex(int bytesize) { return bytesize == 7 ? 0 : 1; }
int ByteSizeValue(int index) { return index == 0 ? 7 : 8; }
int ParityIndex(int parity) { return ToValue(ParityOf(parity).value_or(Parity::kNone)); }
int ParityValue(int index) { return ToValue(ParityOf(index).value_or(Parity::kNone)); }
int StopBitsIndex(int stopbits) { return StopBitsOf(stopbits) == StopBits::kTwo ? 1 : 0; }
int StopBitsValue(int index) { return ToValue(index == 1 ? StopBits::kTwo : StopBits::kOne); }

// Filling the page's own controls must not look like the user's changes.
class Updating {
 public:
  explicit Updating(CDlgPage& page) : page_(page), was_(page.updating) { page.updating = true; }
  ~Updating() { page_.updating = was_; }
  Updating(const Updating&) = delete;
  Updating& operator=(const Updating&) = delete;

 private:
  CDlgPage& page_;
  bool was_;
};

}  // namespace

CDlgLoop::CDlgLoop() : CDlgPage(IDD_LOOP, IDS_TAB_LOOP) {}

std::span<const ControlDef> CDlgLoop::Controls() const { return kControls; }

bool CDlgLoop::OnInitDialog() {
  CDlgPage::OnInitDialog();
  ControlLayer& ui = Ui();
  Updating filling(*this);
  ui.SetSpinRange(IDC_LOOP_POLL_SPIN, kPollSpinLow, kPollSpinHigh);
  if (ConverterDevice* device = Device()) {
    PortSettings& loop = device->LoopSet();
    if (const auto correction = sr::Check(Rule::kNegativePoll, loop))
      sr::ApplyCorrection(*correction, loop);
  }
  SetPollPosition();
  ui.ResetItems(IDC_LOOP_TYPE);
  for (const auto& entry : Catalogue().entries())
    ui.AddItem(IDC_LOOP_TYPE, entry->description, reinterpret_cast<intptr_t>(entry.get()));
  FillFixedLists();
  RegisterTooltips();
  return true;
}

bool CDlgLoop::OnKillActive() { return Validate() && CDlgPage::OnKillActive(); }

void CDlgLoop::OnControl(int id, ControlEvent event) {
  if (id == IDC_LOOP_READ) {
    if (event == ControlEvent::clicked) ReadFromConverter();
    return;
  }
  if (updating) return;
  switch (id) {
    case IDC_LOOP_TYPE:
      if (event != ControlEvent::selection_changed) return;
      {
        Updating filling(*this);
        Refill();
      }
      break;
    case IDC_BAUD:
      if (event != ControlEvent::selection_changed) return;
      if (const DeviceDescription* entry = SelectedEntry()) {
        Updating filling(*this);
        SetPollRange(*entry, SelectedBaud());
        SetPollPosition();
      }
      break;
    case IDC_BYTESIZE:
    case IDC_PARITY:
    case IDC_STOPBITS:
      if (event != ControlEvent::selection_changed) return;
      break;
    case IDC_LOOP_POLL:
      if (event != ControlEvent::text_changed) return;
      break;
    default:
      return;
  }
  SetModified(true);
}

bool CDlgLoop::Validate() {
  ControlLayer& ui = Ui();
  const std::string text = ui.GetText(IDC_LOOP_POLL);
  if (text.empty()) {
    ui.ShowMessage(Text(page_text::kEmptyField), Text(page_text::kCannotContinue), kNoticeIconError);
    ui.Focus(IDC_LOOP_POLL);
    return false;
  }
  PortSettings entered;
  entered.delay = ReadSignedInt(text);
  if (const auto refused = sr::Check(Rule::kPollRange, entered)) {
    lc::ShowFinding(ui, *refused);
    ui.Focus(IDC_LOOP_POLL);
    return false;
  }
  return true;
}

void CDlgLoop::ExchangeSettings(ConverterDevice* device, bool save, bool force) {
  if (device) ExchangeRecord(device->LoopSet(), save, force);
}

const DeviceDescription* CDlgLoop::EntryAt(int index) {
  if (index < 0) return nullptr;
  // The list answers -1 (CB_ERR) for an index it does not hold.
  const intptr_t data = Ui().ItemData(IDC_LOOP_TYPE, index);
  if (data == 0 || data == -1) return nullptr;
  return reinterpret_cast<const DeviceDescription*>(data);
}

const DeviceDescription* CDlgLoop::SelectedEntry() {
  return EntryAt(Ui().GetSelection(IDC_LOOP_TYPE));
}

int CDlgLoop::SelectedBaud() {
  ControlLayer& ui = Ui();
  const int index = ui.GetSelection(IDC_BAUD);
  if (index < 0) return -1;
  return ReadSignedInt(ui.ItemText(IDC_BAUD, index));
}

void CDlgLoop::SetPollRange(const DeviceDescription& entry, int baud) {
  const sr::PollBounds bounds = sr::InstrumentPollBounds(entry, baud);
  Ui().SetSpinRange(IDC_LOOP_POLL_SPIN, bounds.least, bounds.most);
}

void CDlgLoop::SetPollPosition() {
  ConverterDevice* device = Device();
  if (device) Ui().SetSpinPos(IDC_LOOP_POLL_SPIN, device->LoopSet().delay);
}

void CDlgLoop::Refill() {
  const DeviceDescription* entry = SelectedEntry();
  if (!entry) return;
  ControlLayer& ui = Ui();
  ui.Enable(IDC_BAUD, entry->flags & kChooseBaud);
  ui.Enable(IDC_BYTESIZE, entry->flags & kChooseByteSize);
  ui.Enable(IDC_PARITY, entry->flags & kChooseParity);
  ui.Enable(IDC_STOPBITS, entry->flags & kChooseStopBits);

  const int remembered = SelectedBaud();
  ui.ResetItems(IDC_BAUD);
  bool allowed = false;
  for (int32_t rate : entry->validbauds) {
    ui.AddItem(IDC_BAUD, Decimal(rate), rate);
    allowed = allowed || (remembered >= 0 && rate == remembered);
  }
  const int chosen = allowed ? remembered : entry->defbaud;

  SetPollRange(*entry, chosen);
  SetPollPosition();
  ui.SetSelection(IDC_BYTESIZE, ByteSizeIndex(entry->defbytesize));
  ui.SetSelection(IDC_PARITY, ParityIndex(entry->defparity));
  ui.SetSelection(IDC_STOPBITS, StopBitsIndex(entry->defstopbits));
  ui.SelectByPrefix(IDC_BAUD, Decimal(chosen));
}

void CDlgLoop::FillControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  int match = -1;
  const DeviceDescription* matched = nullptr;
  const int count = ui.ItemCount(IDC_LOOP_TYPE);
  for (int i = 0; i < count && match < 0; ++i) {
    const DeviceDescription* entry = EntryAt(i);
    if (entry && entry->name == record.devtype && entry->version == record.fwver) {
      match = i;
      matched = entry;
    }
  }
  // The type list keeps its previous choice for an instrument it does not hold.
  if (const auto unknown = sr::Check(Rule::kUnknownInstrument, record, matched))
    lc::ShowFinding(ui, *unknown);
  else
    ui.SetSelection(IDC_LOOP_TYPE, match);

  Refill();
  // The record's own line settings win over the instrument's defaults.
  ui.SelectByPrefix(IDC_BAUD, Decimal(record.baud));
  ui.SetSelection(IDC_BYTESIZE, ByteSizeIndex(record.bytesize));
  ui.SetSelection(IDC_PARITY, ParityIndex(record.parity));
  ui.SetSelection(IDC_STOPBITS, StopBitsIndex(record.stopbits));
  if (const DeviceDescription* entry = SelectedEntry()) SetPollRange(*entry, record.baud);
  SetPollPosition();
}

void CDlgLoop::ReadControls(PortSettings& record) {
  ControlLayer& ui = Ui();
  if (const DeviceDescription* entry = SelectedEntry()) {
    record.devtype = entry->name;
    record.fwver = entry->version;
  }
  // A baud list without a choice (an unknown instrument on the first load) keeps
  // the rate the record has rather than storing none.
  if (const int baud = SelectedBaud(); baud >= 0) record.baud = baud;
  record.bytesize = ByteSizeValue(ui.GetSelection(IDC_BYTESIZE));
  record.parity = ParityValue(ui.GetSelection(IDC_PARITY));
  record.stopbits = StopBitsValue(ui.GetSelection(IDC_STOPBITS));
  // The polling interval is the number in the edit, the one the checks passed. The
  // spin keeps its own range (the instrument's) and does not take a number outside
  // it as its position; only an edit without a number leaves it to the spin.
  bool typed = false;
  record.delay = ReadSignedInt(ui.GetText(IDC_LOOP_POLL), &typed);
  if (!typed) record.delay = ui.GetSpinPos(IDC_LOOP_POLL_SPIN);
  if (const auto correction = sr::Check(Rule::kNegativePoll, record))
    sr::ApplyCorrection(*correction, record);
}

void CDlgLoop::ReadFromConverter() {
  ConverterDevice* device = Device();
  if (!device) return;
  ControlLayer& ui = Ui();
  ui.NotifySheet(WM_PAGE_BUSY);
  // A failed connection is shown as the sheet shows it, in the sheet's box.
  if (!Connect(*device, Sheet().Window(), true, nullptr)) {
    ui.NotifySheet(WM_PAGE_IDLE);
    return;
  }
  if (const DeviceOutcome read = device->ReadLoopSettings(nullptr)) {
    // The page shows what the converter holds: nothing left to apply.
    ExchangeSettings(device, false, true);
    SetModified(false);
  } else {
    ui.SetCursor(Cursor::arrow);
    ui.ShowMessage(read.text, ProgramText(IDS_ERROR_CAPTION), kNoticeIconError);
  }
  ui.NotifySheet(WM_PAGE_IDLE);
}
