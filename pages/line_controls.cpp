#include "pages/line_controls.h"

#include <climits>
#include <cstdio>

#include "common/baud_rates.h"
#include "common/code_pages.h"
#include "common/resource_ids.h"
#include "common/setting_values.h"
#include "pages/notices.h"
#include "pages/page_texts.h"

namespace line_controls {

namespace {

namespace sr = settings_rules;

// List positions of the frame lists and the address-length list; the parity
// list's positions are the values of Parity (none, odd, even).
constexpr int kBits7 = 0, kBits8 = 1;
constexpr int kStopOne = 0, kStopTwo = 1;
constexpr int kLength8 = 0, kLength11 = 1;

int ParityPosition(int32_t parity) {
  return ToValue(ParityOf(parity).value_or(Parity::kNone));
}

// What the frame lists show, for the frame rules: a list without a selection
// gives a value no refused frame has.
PortSettings EnteredFrame(ControlLayer& ui) {
  PortSettings frame;
  frame.bytesize = 0;
  frame.parity = -1;
  frame.stopbits = -1;
  ReadFrame(ui, frame);
  return frame;
}

}  // namespace

bool IsFrameList(int id) { return id == IDC_BYTESIZE || id == IDC_PARITY || id == IDC_STOPBITS; }

void FillBaudList(ControlLayer& ui, int list) {
  ui.ResetItems(list);
  for (int rate : standard_baud_rates) ui.AddItem(list, std::to_string(rate), rate);
}

void SelectBaud(ControlLayer& ui, int list, int baud) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(baud));
  ui.SelectByPrefix(list, text);
}

int SelectedBaud(ControlLayer& ui, int list) {
  const int index = ui.GetSelection(list);
  if (index < 0) return 0;
  int baud = 0;
  const std::string text = ui.ItemText(list, index);
  for (char c : text) {
    if (c < '0' || c > '9' || baud > (INT_MAX - 9) / 10) break;
    baud = baud * 10 + (c - '0');
  }
  return baud;
}

void SelectFrame(ControlLayer& ui, const PortSettings& record) {
  SelectByteSize(ui, record.bytesize);
  ui.SetSelection(IDC_PARITY, ParityPosition(record.parity));
  ui.SetSelection(IDC_STOPBITS,
                  StopBitsOf(record.stopbits) == StopBits::kTwo ? kStopTwo : kStopOne);
}

void SelectByteSize(ControlLayer& ui, int32_t bytesize) {
  ui.SetSelection(IDC_BYTESIZE, bytesize == 7 ? kBits7 : kBits8);
}

void ReadFrame(ControlLayer& ui, PortSettings& record) {
  const int bits = ui.GetSelection(IDC_BYTESIZE);
  if (bits >= 0) record.bytesize = bits == kBits7 ? 7 : 8;
  const int parity = ui.GetSelection(IDC_PARITY);
  if (parity >= 0) record.parity = parity;
  const int stop = ui.GetSelection(IDC_STOPBITS);
  if (stop >= 0) record.stopbits = ToValue(stop == kStopTwo ? StopBits::kTwo : StopBits::kOne);
}

int AddressLengthPosition(int32_t alen) { return alen == 11 ? kLength11 : kLength8; }

void SelectAddressLength(ControlLayer& ui, int list, int spin, int alen) {
  ui.SetSelection(list, AddressLengthPosition(alen));
  SetAddressRange(ui, list, spin);
}

int SelectedAddressLength(ControlLayer& ui, int list) {
  return ui.GetSelection(list) == kLength11 ? 11 : 8;
}

void SetAddressRange(ControlLayer& ui, int list, int spin) {
  ui.SetSpinRange(spin, 0, sr::MaxAddress(SelectedAddressLength(ui, list)));
}

void ShowFinding(ControlLayer& ui, const sr::Finding& finding) {
  ui.ShowMessage(Utf8ToCp1251(finding.text), Utf8ToCp1251(finding.caption), finding.icon);
}

void WarnUnsupportedFrame(ControlLayer& ui, sr::Rule rule) {
  const std::optional<sr::Finding> finding = sr::Check(rule, EnteredFrame(ui));
  if (!finding) return;
  ShowFinding(ui, *finding);
  ui.Beep(kNoticeIconError);
}

bool ReadEditNumber(ControlLayer& ui, int edit, int& value) {
  const std::string text = ui.GetText(edit);
  size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  long long number = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    if (number <= INT_MAX) number = number * 10 + (text[i] - '0');
  }
  if (!digits) {
    value = 0;
    return false;
  }
  if (negative) number = -number;
  value = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : static_cast<int>(number);
  return true;
}

PortSettings EnteredAddress(ControlLayer& ui, int edit, int length_list) {
  PortSettings entered;
  ReadEditNumber(ui, edit, entered.address);
  entered.alen = SelectedAddressLength(ui, length_list);
  return entered;
}

bool CheckAddressNotEmpty(ControlLayer& ui, int edit) {
  int address = 0;
  if (ReadEditNumber(ui, edit, address)) return true;
  ShowBox(ui, Utf8ToCp1251(page_text::kEmptyField), page_text::kCannotContinue, kNoticeIconError);
  ui.Focus(edit);
  return false;
}

bool CheckAddressInRange(ControlLayer& ui, int edit, int length_list) {
  const auto finding = sr::Check(sr::Rule::kAddressRange, EnteredAddress(ui, edit, length_list));
  if (!finding) return true;
  ShowFinding(ui, *finding);
  return false;
}

void ShowBox(ControlLayer& ui, const std::string& text, const char* utf8_caption, unsigned style) {
  ui.ShowMessage(text, Utf8ToCp1251(utf8_caption), style);
}

}  // namespace line_controls
