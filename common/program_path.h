// Where the running program lies: the instrument descriptions, the help file and
// the version information are read from beside it.
#pragma once

#include <filesystem>

// The running program's own file, whole however long its path; empty when the
// system does not tell it.
std::filesystem::path ProgramPath();

// The folder that holds the running program; the current folder when the system
// does not tell where the program is.
std::filesystem::path ProgramFolder();
