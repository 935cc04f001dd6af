// Local time for the diagnostic log's stamps, through the C library's thread-safe
// conversion of each platform.
#pragma once

#include <ctime>

// Converts t to local time; false when the C library cannot.
bool diag_local_time(std::time_t t, std::tm& out);
