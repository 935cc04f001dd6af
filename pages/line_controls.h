// Controls that several pages show alike: the baud-rate list, the frame lists
// (word length, parity, stop bits), the address-length list with the address edit
// and its spin, and how the converter's rules on them are shown. The frame lists
// have the same ids on every page that shows them; the other controls are given by
// the caller. The rules themselves are the device layer's (device/settings_rules.h).
#pragma once

#include <span>
#include <string>

#include "common/resource_ids.h"
#include "device/settings_rules.h"
#include "pages/controls.h"
#include "settings/port_settings.h"

namespace line_controls {

// Fixed items, in list order (UTF-8).
inline constexpr const char* kByteSizeItems[] = {"7", "8"};
inline constexpr const char* kParityItems[] = {"Отсутствует", "Нечетность", "Четность"};
inline constexpr const char* kStopBitsItems[] = {"1", "2"};
inline constexpr const char* kAddressLengthItems[] = {"8 битный", "11 битный"};

inline constexpr const char* kPortGroup = "Настройки порта";
inline constexpr const char* kProtocolGroup = "Протокол";

// The rows of a page's control table for the frame lists (in the group "Настройки
// порта") and the address-length list (in the group "Протокол").
inline constexpr ControlDef kByteSizeControl{.id = IDC_BYTESIZE, .kind = ControlKind::drop_down,
                                              .label = "Длина слова", .items = kByteSizeItems,
                                              .tooltip = IDS_TIP_BYTESIZE, .group = kPortGroup};
inline constexpr ControlDef kParityControl{.id = IDC_PARITY, .kind = ControlKind::drop_down,
                                            .label = "Чётность", .items = kParityItems,
                                            .tooltip = IDS_TIP_PARITY, .group = kPortGroup};
inline constexpr ControlDef kStopBitsControl{.id = IDC_STOPBITS, .kind = ControlKind::drop_down,
                                              .label = "Стоп бит", .items = kStopBitsItems,
                                              .tooltip = IDS_TIP_STOPBITS, .group = kPortGroup};
inline constexpr ControlDef kAddressLengthControl{
    .id = IDC_ADDRESS_LENGTH, .kind = ControlKind::drop_down, .label = "Длина адреса",
    .items = kAddressLengthItems, .tooltip = IDS_TIP_ADDRESS_LENGTH, .group = kProtocolGroup};
// The address edit "Адрес" and the spin attached to it, in the group "Протокол".
constexpr ControlDef AddressEditControl(int edit) {
  return {.id = edit, .kind = ControlKind::edit, .label = "Адрес", .tooltip = IDS_TIP_ADDRESS,
          .group = kProtocolGroup};
}
constexpr ControlDef AddressSpinControl(int spin, int edit) {
  return {.id = spin, .kind = ControlKind::spin, .buddy = edit, .group = kProtocolGroup};
}

// Whether id is one of the frame lists (IDC_BYTESIZE, IDC_PARITY, IDC_STOPBITS).
bool IsFrameList(int id);

// The standard line rates as "%u", the rate as item data.
void FillBaudList(ControlLayer& ui, int list);
// Selects the first item whose text begins with the rate as "%u"; when none does,
// the previous selection stays.
void SelectBaud(ControlLayer& ui, int list, int baud);
// The selected item's text as a decimal number; 0 with no selection.
int SelectedBaud(ControlLayer& ui, int list);

// Word length, parity and stop bits of `record` into the frame lists, and back
// (a list without a selection leaves its field unchanged).
void SelectFrame(ControlLayer& ui, const PortSettings& record);
void ReadFrame(ControlLayer& ui, PortSettings& record);
// The word-length list at a word length: "7" for 7, "8" for anything else.
void SelectByteSize(ControlLayer& ui, int32_t bytesize);

// The address-length list: alen 11 selects "11 битный", anything else "8 битный";
// the address spin's range follows. Reading gives 11 or 8.
int AddressLengthPosition(int32_t alen);
void SelectAddressLength(ControlLayer& ui, int list, int spin, int alen);
int SelectedAddressLength(ControlLayer& ui, int list);
// The address spin's range for the list's selection; the position is not changed.
void SetAddressRange(ControlLayer& ui, int list, int spin);

// A finding of the settings rules in a message box of the page: its text, caption
// and icon.
void ShowFinding(ControlLayer& ui, const settings_rules::Finding& finding);
// Warns (the finding's box, then the error beep) when the frame lists show a frame
// the converter refuses; `rule` is the page's (kLinkUnsupportedFrame or
// kRs485UnsupportedFrame, whose captions differ). A list without a selection
// passes.
void WarnUnsupportedFrame(ControlLayer& ui, settings_rules::Rule rule);

// An edit's text as the window system reads a signed number from it: an optional
// minus and digits, stopping at the first other character; false (value 0) when
// there is no digit. A number beyond int saturates, so that a range check refuses it.
bool ReadEditNumber(ControlLayer& ui, int edit, int& value);

// The address typed and the address length chosen, as the address rules read them.
PortSettings EnteredAddress(ControlLayer& ui, int edit, int length_list);

// The checks of the address edit on leaving a page. Empty: "Пустое значение поля",
// the focus on the edit. Out of range for the address-length list: the refusal with
// the address (the focus stays). False after the message.
bool CheckAddressNotEmpty(ControlLayer& ui, int edit);
bool CheckAddressInRange(ControlLayer& ui, int edit, int length_list);

// A message box of the page: UTF-8 caption, program-text body.
void ShowBox(ControlLayer& ui, const std::string& text, const char* utf8_caption, unsigned style);

}  // namespace line_controls
