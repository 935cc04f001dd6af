#include "link/diag_clock.h"

// localtime_s of the Microsoft C library returns 0 on success (argument order is
// the reverse of the C11 function of the same name).
bool diag_local_time(std::time_t t, std::tm& out) { return localtime_s(&out, &t) == 0; }
