#include "pages/line_controls.h"

#include <climits>
#include <cstdio>

#include "common/baud_rates.h"
#include "common/resource_ids.h"
#include "pages/notices.h"
#include "pages/page_texts.h"
#include "store/codepage.h"

namespace line_controls {

namespace {

// List positions of the frame lists.
constexpr int kBits7 = 0, kBits8 = 1;
constexpr int kParityNone = 0;
constexpr int kStop1 = 0, kStop2 = 1;
constexpr int kLength11 = 1;

struct Frame {
  int bits, parity, stop;
};
constexpr Frame kUnsupported[] = {
    {kBits7, kParityNone, kStop1},
    {kBits8, 1, kStop2},
    {kBits8, 2, kStop2},
};

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
  ui.SetSelection(IDC_BYTESIZE, record.bytesize == 7 ? kBits7 : kBits8);
  ui.SetSelection(IDC_PARITY, record.parity == 1 || record.parity == 2 ? record.parity : 0);
  ui.SetSelection(IDC_STOPBITS, record.stopbits == 2 ? kStop2 : kStop1);
}

void ReadFrame(ControlLayer& ui, PortSettings& record) {
  const int bits = ui.GetSelection(IDC_BYTESIZE);
  if (bits >= 0) record.bytesize = bits == kBits7 ? 7 : 8;
  const int parity = ui.GetSelection(IDC_PARITY);
  if (parity >= 0) record.parity = parity;
  const int stop = ui.GetSelection(IDC_STOPBITS);
  if (stop >= 0) record.stopbits = stop == kStop2 ? 2 : 0;
}

void SelectAddressLength(ControlLayer& ui, int list, int spin, int alen) {
  ui.SetSelection(list, alen == 11 ? kLength11 : 0);
  SetAddressRange(ui, list, spin);
}

int SelectedAddressLength(ControlLayer& ui, int list) {
  return ui.GetSelection(list) == kLength11 ? 11 : 8;
}

int MaxAddress(ControlLayer& ui, int list) {
  return ui.GetSelection(list) == kLength11 ? kMaxAddress11 : kMaxAddress8;
}

void SetAddressRange(ControlLayer& ui, int list, int spin) {
  ui.SetSpinRange(spin, 0, MaxAddress(ui, list));
}

bool IsUnsupportedFrame(ControlLayer& ui) {
  const Frame frame{ui.GetSelection(IDC_BYTESIZE), ui.GetSelection(IDC_PARITY),
                    ui.GetSelection(IDC_STOPBITS)};
  for (const Frame& refused : kUnsupported)
    if (frame.bits == refused.bits && frame.parity == refused.parity &&
        frame.stop == refused.stop)
      return true;
  return false;
}

void WarnUnsupportedFrame(ControlLayer& ui, const char* utf8_caption) {
  if (!IsUnsupportedFrame(ui)) return;
  ShowBox(ui, Utf8ToCp1251(page_text::kUnsupportedFrame), utf8_caption, kNoticeIconWarning);
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

bool CheckAddressNotEmpty(ControlLayer& ui, int edit) {
  int address = 0;
  if (ReadEditNumber(ui, edit, address)) return true;
  ShowBox(ui, Utf8ToCp1251(page_text::kEmptyField), page_text::kCannotContinue, kNoticeIconError);
  ui.Focus(edit);
  return false;
}

bool CheckAddressInRange(ControlLayer& ui, int edit, int length_list) {
  int address = 0;
  ReadEditNumber(ui, edit, address);
  const int max = MaxAddress(ui, length_list);
  if (address >= 0 && address <= max) return true;
  const std::string text = max == kMaxAddress11 ? Format(page_text::kAddress11Refused, address, max)
                                                : Format(page_text::kAddress8Refused, address);
  ShowBox(ui, text, page_text::kCannotDo, kNoticeIconError);
  return false;
}

std::string Format(const char* utf8_format, int a, int b) {
  char text[512];
  std::snprintf(text, sizeof text, Utf8ToCp1251(utf8_format).c_str(), a, b);
  return text;
}

void ShowBox(ControlLayer& ui, const std::string& text, const char* utf8_caption, unsigned style) {
  ui.ShowMessage(text, Utf8ToCp1251(utf8_caption), style);
}

}  // namespace line_controls
