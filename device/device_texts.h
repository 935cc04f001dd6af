// The texts of the device operations' failures, as the user reads them: those of
// the program's string table taken from it by their identifiers (UTF-8 source
// text; ProgramText gives them as the windows show them, in Windows-1251), and the
// address correction's, which the table does not hold.
#pragma once

#include "common/program_strings.h"

namespace device_text {

inline constexpr const char* kCannotUsePort = ProgramTextUtf8(IDS_CANNOT_USE_PORT);
inline constexpr const char* kErrorCaption = ProgramTextUtf8(IDS_ERROR_CAPTION);
inline constexpr const char* kNoLink = ProgramTextUtf8(IDS_NO_LINK);
inline constexpr const char* kNotKV4T = ProgramTextUtf8(IDS_NOT_KV4T);
inline constexpr const char* kLoopReadFailed = ProgramTextUtf8(IDS_LOOP_READ_FAILED);
inline constexpr const char* kLoopWriteFailed = ProgramTextUtf8(IDS_LOOP_WRITE_FAILED);
inline constexpr const char* kRs485WriteFailed = ProgramTextUtf8(IDS_RS485_WRITE_FAILED);
static_assert(kCannotUsePort && kErrorCaption && kNoLink && kNotKV4T && kLoopReadFailed &&
              kLoopWriteFailed && kRs485WriteFailed);

// The address correction box: the address given and the one written instead.
inline constexpr const char* kAddressOutOfRange =
    "Адрес %i вне допустимого диапазона при данном типе адресации.\n"
    "Будет установлено значение адреса равное %i";
inline constexpr const char* kAddressCaption = "Неверный адрес";

}  // namespace device_text
