// Port names: the "COMn" numbering shared by the channel and both port layers.
// Paths and names reach the POSIX calls and the log as UTF-8 (common/unicode.h).
#pragma once

#include <string_view>

// "COMn" -> n from the digits after "COM" (what follows them is ignored); -1 for a
// name without such digits or a number beyond int.
int com_port_number(std::wstring_view name);
