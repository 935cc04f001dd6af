// The device operations as the windows call them. The device layer hands back
// outcomes; here they become what the user sees: a failed connection in a device
// error box (not in the silent state), and the address the RS-485 write has to
// correct in a box before anything of the write is sent.
#pragma once

#include <string>

#include "device/converter_device.h"
#include "pages/notices.h"

class CDlgRs485;

// Connect. With show_messages a failure restores the arrow cursor and, unless the
// silent state is on, shows the outcome's text in a box owned by owner (may be
// null), caption "Ошибка", error icon; without it the text goes into error_text
// when that is given. True when the converter is connected.
bool Connect(ConverterDevice& device, WindowHandle owner, bool show_messages,
             std::string* error_text);

// The RS-485 write. An address outside the converter's range for its length is
// shown first, with the address written instead (caption "Неверный адрес", error
// icon, owned by the main window, in the silent state too); the RS-485 set then
// holds that address, and the page, when given, shows it and moves the focus on.
// Only then does the write begin. The outcome is the device's, `corrected` set
// when the address was replaced here.
Rs485WriteOutcome WriteRs485Settings(ConverterDevice& device, CDlgRs485* page);
