// Pictures of what the screen shows (the Xvfb display under Wine), for a person
// to look at: a rectangle of the screen copied into a PNG file.
#pragma once

#include <windows.h>

#include <string>

namespace ui_test {

// Writes the rectangle r of the screen as the PNG file at path; false when r is
// empty or the picture could not be taken or written.
bool CaptureScreenPng(const RECT& r, const std::wstring& path);

}  // namespace ui_test
