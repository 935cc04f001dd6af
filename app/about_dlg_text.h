// The About box's texts that need no window system. UTF-8.
#pragma once

#include <string>
#include <string_view>

// The compiler's date as __DATE__ writes it ("Jul  6 2007": the English month,
// the day right-aligned in two characters, the year) with the month as a Russian
// word: "6 июля 2007". A text without a month, or without the space before the
// year, is returned as it stands.
std::string RussianBuildDate(std::string_view compiler_date);

// The About box's build line: "Скомпилировано" with the compiler's time
// ("12:39:07", as __TIME__ writes it) and the converted date:
// "Скомпилировано 12:39:07 6 июля 2007".
std::string AboutBuildLine(std::string_view compiler_time, std::string_view compiler_date);
