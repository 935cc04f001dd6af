// The About box: the program's title with the version of its own file, the maker's
// notice and the date and time of the build (dialog IDD_ABOUT).
#pragma once

#include <windows.h>

#include <string>

// Shows the About box as a modal dialog owned by owner (may be null) and returns
// when the user has closed it.
void ShowAboutBox(HWND owner);

// FileVersion of the file at path, from the string table of the first language
// and code page its version information lists under \VarFileInfo\Translation (at
// most 399 characters); empty when the file has no version information.
std::wstring FileVersionOf(const std::wstring& path);
