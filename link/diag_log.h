// The diagnostic log of the device link: a process-wide, thread-safe trace in which
// the serial channel reports every port setting, transmission, reception and
// failure. Each line is the local time "hh:mm:ss:mmm | " followed by the message;
// messages carry their own line end. Lines are kept in memory, or handed to a sink
// that a host installs; the log never writes a file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The log formats through the C library's vsnprintf; with MinGW that is its own
// C99 implementation, so the formats are checked as GNU ones (%zu, %lld) there too.
#if defined(__MINGW_PRINTF_FORMAT)
#define DIAG_LOG_FORMAT __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#elif defined(__GNUC__)
#define DIAG_LOG_FORMAT __attribute__((format(printf, 2, 3)))
#else
#define DIAG_LOG_FORMAT
#endif

// Logs one printf-style message. level is the caller's severity tag (1 routine
// events and most failures, 3 reception errors and timing corrections); every level
// is accepted and none is filtered. A message longer than 8191 characters is cut.
void diag_log(int level, const char* format, ...) DIAG_LOG_FORMAT;

// A sink receives each line (stamp included) with the context it was installed
// with. It is called with the log's lock held; a line it logs itself is dropped.
using diag_log_callback = void (*)(void* context, const char* line);

// Installs a sink for all later lines; callback nullptr removes it, and lines go
// to the line list again.
void diag_log_sink(diag_log_callback callback, void* context);

// A copy of the lines logged while no sink was installed, oldest first.
std::vector<std::string> diag_log_lines();

// Empties the line list.
void diag_log_clear();

// The list keeps the latest lines only: past this many, the oldest are dropped.
inline constexpr std::size_t diag_log_max_lines = 100000;

// Longest message kept, in characters (without the stamp).
inline constexpr std::size_t diag_log_max_message = 8191;

// Writes the 15-character stamp "hh:mm:ss:mmm | " and a NUL into out.
void diag_log_stamp(char (&out)[16], int hour, int minute, int second, int millisecond);
