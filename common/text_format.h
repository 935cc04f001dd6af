// printf-style formatting of the program's own texts into a string of whatever
// length the result needs.
#pragma once

#include <string>

// The arguments are checked against the format where the compiler can (MinGW's
// printf dialect checks would differ from the C library the program uses).
std::string Format(const char* format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
