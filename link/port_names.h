// Port names and paths: the "COMn" numbering shared by the channel and both port
// layers, and the UTF-8 form in which paths reach the POSIX calls and the log.
#pragma once

#include <string>
#include <string_view>

// "COMn" -> n from the digits after "COM" (what follows them is ignored); -1 for a
// name without such digits or a number beyond int.
int com_port_number(std::wstring_view name);

// Wide text as UTF-8 (surrogate pairs joined where wchar_t is 16 bits; anything
// beyond U+10FFFF becomes '?').
std::string wide_to_utf8(std::wstring_view text);

// UTF-8 as wide text; a byte that starts no complete sequence stands for itself.
std::wstring utf8_to_wide(std::string_view text);
