#include "link/diag_clock.h"

bool diag_local_time(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }
