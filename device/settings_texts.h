// The texts of the settings rules (settings_rules.h), as the user reads them in
// the pages' message boxes and on the console tool's error output (validation
// texts are not in the string table). Source text is UTF-8; the window converts
// to Windows-1251 program text where it shows them. The texts are fixed as they
// stand, their typos ("Неверныое", "длинны", "8-битеый") included.
#pragma once

namespace settings_text {

// The caption of the pages' refusals.
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

// A frame the converter does not take: the computer-port page's caption and the
// RS-485 page's.
inline constexpr const char* kUnsupportedFrame = "Внимание, этот режим не поддерживается KV4T!";
inline constexpr const char* kUnsupportedFrameCaption = "Неверные сетевые настройки";
inline constexpr const char* kUnsupportedFrameCaptionRs485 = "Неверные сетевые настройки (1)";

// The answer delay: the delay found, and the value put instead.
inline constexpr const char* kDelayCorrected =
    "Задержка %i вне допустимого диапазона.\nБудет установлено значение задержки равное %i";
inline constexpr const char* kDelayCorrectedCaption = "Неверныое значение задержки";
inline constexpr const char* kDelayRefused =
    "Недопустимое значение задержки: %i\nправильное значение от 0 до 45";

// The word length chosen that the protocol does not allow.
inline constexpr const char* kWordLengthRtu =
    "Недопустимое значение длинны слова данных: %i\n"
    "Для протокола Modbus-RTU правильное значение 8";
inline constexpr const char* kWordLengthAscii =
    "Недопустимое значение длинны слова данных: %i\n"
    "Для протокола Modbus-ASCII правильное значение 7";

// The current loop: an instrument the catalogue does not know, and a polling
// interval out of range.
inline constexpr const char* kUnknownInstrument =
    "Прочитан или установлен неизвестный тип прибора!";
inline constexpr const char* kWarningCaption = "Предупреждение";
inline constexpr const char* kPollRefused =
    "Недопустимое значение частоты опроса: %i\nправильное значение от 1 до 60";

// The line test reads the converter's registers over Modbus RTU, which has 8 data
// bits: the word length found, then what the user is asked to do (its caption).
inline constexpr const char* kLineTestWordLength =
    "Недопустимое значение длинны слова данных: %i\n"
    "Для проведения теста необходима связь с длинной слова данных 8";
inline constexpr const char* kLineTestMode =
    "Недопустимый режим связи.\n"
    "Для проведения теста измените режим связи с прибором на 8-битеый и повторите попытку!";
inline constexpr const char* kLineTestModeCaption = "Нельзя начать тестирование";

// Values no list of the pages can hold, met in files and on the console tool's
// command line.
inline constexpr const char* kRateNotStandard = "скорость %d не поддерживается";
inline constexpr const char* kParityValue = "чётность %d: допустимо 0, 1 или 2";
inline constexpr const char* kStopBitsValue = "стоп-биты %d: допустимо 0 или 2";
inline constexpr const char* kProtocolValue = "протокол %d: допустимо 0, 1 или 2";
inline constexpr const char* kWordLengthValue = "длина слова %d: допустимо 7 или 8";
inline constexpr const char* kAddressLengthValue = "длина адреса %d: допустимо 8 или 11";
inline constexpr const char* kModbusAddressLength =
    "протоколы Modbus допускают только 8-битный адрес";
// The loop instrument's own limits: its name (and the value, the bounds and rate).
inline constexpr const char* kInstrumentRate = "скорость %d не допускается прибором %s";
inline constexpr const char* kInstrumentFixed = "прибор %s не позволяет менять %s";
inline constexpr const char* kInstrumentFixedByteSize = "длину слова";
inline constexpr const char* kInstrumentFixedParity = "чётность";
inline constexpr const char* kInstrumentFixedStopBits = "число стоп-бит";
inline constexpr const char* kInstrumentPoll =
    "частота опроса %d: прибор допускает от %d до %d на скорости %d";

}  // namespace settings_text
