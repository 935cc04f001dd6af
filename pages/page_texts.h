// The texts of the pages' own checks of what the user typed, as the user reads
// them (validation texts are not in the string table); the texts of the
// converter's settings rules are the device layer's (device/settings_texts.h) and
// come with their findings. Source text is UTF-8; the pages convert to
// Windows-1251 program text where they show them.
#pragma once

#include "device/settings_texts.h"

namespace page_text {

inline constexpr const char* kEmptyField = "Пустое значение поля";
inline constexpr const char* kCannotContinue = "Продолжение невозможно";

inline constexpr const char* kTabsBlocked =
    "Переключение вкладок блокировано, поскольку нет связи с прибором";
inline constexpr const char* kTabsBlockedCaption = "Переключение вкладок блокировано";

}  // namespace page_text
