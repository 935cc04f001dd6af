// A reader of the program's dialog scripts as the resource compiler reads them:
// first the C preprocessor (quoted includes, object- and function-like macros,
// #ifdef / #ifndef / #else), then the script's statements, each text decoded in the
// code page that the last "#pragma code_page" before it named (65001 for UTF-8,
// 1251 for Windows-1251). A text met before any code page is named is an error:
// the compiler would take the build machine's code page for it.
//
// It knows what dialog scripts are written with: LANGUAGE and DIALOG / DIALOGEX
// resources with their controls. Anything else (another resource, #if, a macro
// call across lines, a text outside a code page) is an error naming the file and
// the line, never a guess.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace rc_script {

// Dialog units, as the template gives them.
struct Rect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

// One control of a dialog template, in template order (the order of the windows,
// which is also the tab order and the order in which a screen reader names them).
struct Item {
  std::string statement;     // "LTEXT", "GROUPBOX", "COMBOBOX", "EDITTEXT", "CONTROL" ...
  std::string window_class;  // "Static", "Button", "ComboBox", "Edit", "msctls_updown32" ...
  std::string text;          // UTF-8
  int id = -1;
  Rect rect;
  // The style names written for it (a number written as a style stands as its
  // text), with the style the statement implies: SS_LEFT for LTEXT, BS_GROUPBOX for
  // GROUPBOX, BS_PUSHBUTTON for PUSHBUTTON and so on. "NOT X" takes X out.
  std::set<std::string> styles;
  std::string where;  // "file:line" of the statement
};

struct Dialog {
  int id = 0;
  std::string where;
  std::vector<Item> items;
};

// Reads the script at `path` and appends its dialogs to `dialogs`. A quoted include
// is looked for beside the file that includes it, then in `include_dirs`; a system
// header (<windows.h>, <commctrl.h>) is not read: the few names that dialog scripts
// take from it (UPDOWN_CLASS) are known to the reader, and style names are kept as
// names. False with `error` ("file:line: what") when the script cannot be read.
bool ReadScript(const std::string& path, const std::vector<std::string>& include_dirs,
                std::vector<Dialog>& dialogs, std::string& error);

}  // namespace rc_script
