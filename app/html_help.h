// The program's help: the HTML help file beside the program, named as the program
// with the extension ".CHM", opened at its first topic.
#pragma once

#include <string>

// The help file's path: the program's own path with its extension replaced.
std::wstring ProgramHelpPath();

// Opens the topic "::/000.htm" of the help file with the system's HTML help
// viewer, owned by the desktop. Does nothing when the viewer (hhctrl.ocx) or the
// help file is missing: the program goes on without help.
void ShowProgramHelp();
