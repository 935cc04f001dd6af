// Where the running program lies: the help file and the version information are
// read from beside it.
#pragma once

#include <string>

// The running program's own file, whole however long its path; empty when the
// system does not tell it.
std::wstring ProgramPath();
