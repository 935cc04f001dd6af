// The texts the device operations show or hand to their callers, as written in
// the program's string table (the id beside each). Source text is UTF-8; the
// device operations convert to Windows-1251 program text where they use them.
#pragma once

namespace device_text {

inline constexpr const char* kCannotUsePort = "Невозможно использовать порт";  // 125
inline constexpr const char* kErrorCaption = "Ошибка";                          // 126
inline constexpr const char* kNoLink = "Не удалось установить связь с прибором.";  // 127
inline constexpr const char* kNotKV4T =
    "Подключенное устройство не является преобразователем KV4T.";  // 128
inline constexpr const char* kLoopReadFailed =
    "Ошибка загрузки конфигурации подключенного прибора на интерфейсе токовая петля "
    "преобразователя KV4T.";  // 129
inline constexpr const char* kLoopWriteFailed =
    "Ошибка сохранения конфигурации подключенного прибора на интерфейсе токовая петля "
    "преобразователя KV4T.";  // 131
inline constexpr const char* kRs485WriteFailed =
    "Ошибка сохранения коммуникационных параметров прибора.";  // 132
// The address correction box: the address given and the one written instead.
inline constexpr const char* kAddressOutOfRange =
    "Адрес %i вне допустимого диапазона при данном типе адресации.\n"
    "Будет установлено значение адреса равное %i";
inline constexpr const char* kAddressCaption = "Неверный адрес";

}  // namespace device_text
