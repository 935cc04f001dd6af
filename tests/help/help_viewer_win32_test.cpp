// The help file opened the way the program's Help button opens it: HtmlHelpW on the
// desktop with "KV4T_Cfg.CHM::/000.htm" and HH_DISPLAY_TOPIC. The viewer must show
// its window with the help's title, the table of contents and the index tab, read
// from the help file in its Windows-1251 code page; the topic itself is drawn by the browser
// engine, which a bare Wine prefix does not have, so the topic's rendering is not
// checked here.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// From htmlhelp.h: MinGW ships neither the header nor an import library, so the
// function is looked up in hhctrl.ocx.
constexpr UINT kHhDisplayTopic = 0x0000;
constexpr UINT kHhCloseAll = 0x0012;
using HtmlHelpWFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

std::wstring HelpFile() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path, n);
  file.resize(file.find_last_of(L"\\/") + 1);
  return file + L"KV4T_Cfg.CHM";
}

// Handles this thread's messages (the viewer's windows belong to it) for a while.
void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(20);
  }
}

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// The top-level viewer window of this process ("HH Parent"), or null.
HWND FindViewer() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId() && ClassOf(window) == L"HH Parent" && IsWindowVisible(window)) {
          reinterpret_cast<Search*>(param)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChild(HWND parent, const wchar_t* cls) {
  struct Search {
    const wchar_t* cls;
    HWND found = nullptr;
  } search{cls};
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (ClassOf(window) == s->cls) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The texts of the tree's top-level items, in order.
std::vector<std::wstring> RootItems(HWND tree) {
  std::vector<std::wstring> items;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  while (item) {
    wchar_t text[256] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = 256;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    items.push_back(text);
    item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                    reinterpret_cast<LPARAM>(item)));
  }
  return items;
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

TEST(HelpViewer, OpensTheOverviewWithTitleAndContents) {
  ASSERT_NE(GetFileAttributesW(HelpFile().c_str()), INVALID_FILE_ATTRIBUTES) << "no KV4T_Cfg.CHM";
  HMODULE hhctrl = LoadLibraryW(L"hhctrl.ocx");
  ASSERT_NE(hhctrl, nullptr) << "hhctrl.ocx does not load";
  // Through void*: FARPROC is a function type of its own, which GCC warns about.
  auto htmlHelp = reinterpret_cast<HtmlHelpWFn>(reinterpret_cast<void*>(GetProcAddress(hhctrl, "HtmlHelpW")));
  ASSERT_NE(htmlHelp, nullptr);

  const std::wstring topic = HelpFile() + L"::/000.htm";
  HWND shown = htmlHelp(GetDesktopWindow(), topic.c_str(), kHhDisplayTopic, 0);
  Pump(1500);
  HWND viewer = FindViewer();
  ASSERT_NE(viewer, nullptr) << "no help window appeared (HtmlHelpW answered " << shown << ")";
  EXPECT_EQ(Utf8(TextOf(viewer)), "Справка конфигуратора KV4T");

  HWND tree = FindChild(viewer, WC_TREEVIEWW);
  ASSERT_NE(tree, nullptr) << "no table of contents";
  const std::vector<std::wstring> roots = RootItems(tree);
  ASSERT_GE(roots.size(), 6u);
  EXPECT_EQ(Utf8(roots[0]), "Конфигуратор KV4T");
  EXPECT_EQ(Utf8(roots[1]), "Главное окно");
  EXPECT_EQ(Utf8(roots.back()), "Описания приборов");

  // The navigation pane offers the contents and the index.
  HWND tabs = FindChild(viewer, WC_TABCONTROLW);
  ASSERT_NE(tabs, nullptr) << "no navigation tabs";
  EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);

  std::string seen;
  for (const auto& r : roots) seen += " [" + Utf8(r) + "]";
  std::printf("help window %p \"%s\", contents:%s\n", static_cast<void*>(viewer), Utf8(TextOf(viewer)).c_str(),
              seen.c_str());

  htmlHelp(nullptr, nullptr, kHhCloseAll, 0);
  Pump(500);
  EXPECT_FALSE(IsWindow(viewer)) << "the help window stays after HH_CLOSE_ALL";
}

}  // namespace
