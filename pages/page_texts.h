// The texts the pages show in their own message boxes, as the user reads them
// (validation texts are not in the string table). Source text is UTF-8; the pages
// convert to Windows-1251 program text where they show them. The texts are fixed
// as they stand, their typos ("Неверныое", "длинны") included.
#pragma once

namespace page_text {

inline constexpr const char* kEmptyField = "Пустое значение поля";
inline constexpr const char* kCannotContinue = "Продолжение невозможно";
inline constexpr const char* kCannotDo = "Нельзя выполнить операцию";

// The RS-485 page with no rate chosen: its set holds a rate that the list of line
// rates does not offer (a configuration file may carry any number).
inline constexpr const char* kBaudNotChosen =
    "Недопустимое значение скорости обмена\nвыберите скорость обмена из списка";

// The address given; for 11-bit addresses also the largest address.
inline constexpr const char* kAddress8Refused =
    "Недопустимое значение сетевого адреса: %i\n"
    "правильное значение при данном типе адресации от 0 до 254";
inline constexpr const char* kAddress11Refused =
    "Недопустимое значение сетевого адреса: %i\n"
    "правильное значение при данном типе адресации от 0 до %i";

inline constexpr const char* kUnsupportedFrame = "Внимание, этот режим не поддерживается KV4T!";
inline constexpr const char* kUnsupportedFrameCaption = "Неверные сетевые настройки";
inline constexpr const char* kUnsupportedFrameCaptionRs485 = "Неверные сетевые настройки (1)";

// The RS-485 page's answer delay: the delay found, and the value put instead.
inline constexpr const char* kDelayCorrected =
    "Задержка %i вне допустимого диапазона.\nБудет установлено значение задержки равное %i";
inline constexpr const char* kDelayCorrectedCaption = "Неверныое значение задержки";
inline constexpr const char* kDelayRefused =
    "Недопустимое значение задержки: %i\nправильное значение от 0 до 45";

// The word length the user chose that the protocol does not allow.
inline constexpr const char* kWordLengthRtu =
    "Недопустимое значение длинны слова данных: %i\n"
    "Для протокола Modbus-RTU правильное значение 8";
inline constexpr const char* kWordLengthAscii =
    "Недопустимое значение длинны слова данных: %i\n"
    "Для протокола Modbus-ASCII правильное значение 7";

// The current-loop page: an instrument the catalogue does not know, and a polling
// interval out of range.
inline constexpr const char* kUnknownInstrument = "Прочитан или установлен неизвестный тип прибора!";
inline constexpr const char* kWarningCaption = "Предупреждение";
inline constexpr const char* kPollRefused =
    "Недопустимое значение частоты опроса: %i\nправильное значение от 1 до 60";

inline constexpr const char* kTabsBlocked =
    "Переключение вкладок блокировано, поскольку нет связи с прибором";
inline constexpr const char* kTabsBlockedCaption = "Переключение вкладок блокировано";

}  // namespace page_text
