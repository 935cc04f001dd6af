#include "app/about_dlg.h"

#include <cwchar>
#include <vector>

#include "app/about_dlg_text.h"
#include "common/code_pages.h"
#include "common/program_path.h"
#include "common/resource_ids.h"

namespace {

std::wstring LoadProgramString(UINT id) {
  // With a length of 0, LoadStringW hands out a pointer to the read-only text in
  // the resource itself, which is not terminated.
  const wchar_t* text = nullptr;
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, n) : std::wstring();
}

class CDlgAbout {
 public:
  INT_PTR DoModal(HWND owner) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner,
                           &CDlgAbout::DialogProc, reinterpret_cast<LPARAM>(this));
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<CDlgAbout*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      return self->OnInitDialog(dialog);
    }
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
      EndDialog(dialog, LOWORD(wparam));
      return TRUE;
    }
    return FALSE;
  }

  BOOL OnInitDialog(HWND dialog) {
    const std::wstring title = LoadProgramString(IDS_ABOUT_TITLE) + L" " + FileVersionOf(ProgramPath().native());
    SetDlgItemTextW(dialog, IDC_ABOUT_TITLE, title.c_str());
    const std::wstring build = Utf8ToWide(AboutBuildLine(__TIME__, __DATE__));
    SetDlgItemTextW(dialog, IDC_ABOUT_BUILD, build.c_str());
    // TRUE: the dialog manager puts the focus on the first control that takes it (OK).
    return TRUE;
  }
};

}  // namespace

void ShowAboutBox(HWND owner) {
  CDlgAbout dialog;
  dialog.DoModal(owner);
}

std::wstring FileVersionOf(const std::wstring& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<unsigned char> info(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return {};

  // Language and code page pairs, two WORDs each; the first one names the string
  // table to read.
  void* pairs = nullptr;
  UINT pairs_size = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &pairs, &pairs_size) ||
      pairs_size < 2 * sizeof(WORD))
    return {};
  const WORD* pair = static_cast<const WORD*>(pairs);
  wchar_t key[64];
  std::swprintf(key, 64, L"\\StringFileInfo\\%04X%04X\\FileVersion", pair[0], pair[1]);

  void* value = nullptr;
  UINT length = 0;  // in characters, the terminator included
  if (!VerQueryValueW(info.data(), key, &value, &length) || length == 0) return {};
  std::wstring version(static_cast<const wchar_t*>(value), wcsnlen(static_cast<const wchar_t*>(value), length));
  if (version.size() > 399) version.resize(399);
  return version;
}
