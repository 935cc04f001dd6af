#include "tests/e2e/driver_support.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <thread>

#include "tests/support/screen_capture_win32.h"
#include "tests/support/ui_support_win32.h"

namespace e2e {

namespace {

using ui_test::ClassOf;

int g_failures = 0;

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kSheetCaption[] = L"KV4T Конфигуратор";
// A message box's text is the static control with this id.
constexpr int kBoxTextId = 0xFFFF;
// A device operation blocks the program's window thread; the longest (a
// connection to a converter that does not answer, with its wake-up) takes some
// seconds.
constexpr UINT kSendTimeoutMs = 60000;

void Print(FILE* out, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
  std::fflush(out);
}

// Top-level visible windows of a process.
std::vector<HWND> TopWindows(DWORD process) {
  struct Search {
    DWORD process;
    std::vector<HWND> found;
  } search{process, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->process && IsWindowVisible(window)) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::wstring WinePath(const std::string& path) {
  std::wstring out = Wide(path);
  if (out.empty() || out[0] != L'/') return out;
  for (wchar_t& c : out)
    if (c == L'/') c = L'\\';
  return L"Z:" + out;
}

void Expect(bool ok, const std::string& what) {
  if (ok) return;
  ++g_failures;
  Print(stderr, "FAILED: " + what);
}

void ExpectEq(const std::wstring& seen, const std::wstring& wanted, const std::string& what) {
  Expect(seen == wanted, what + ": \"" + Utf8(seen) + "\", wanted \"" + Utf8(wanted) + "\"");
}

int Failures() { return g_failures; }

void Note(const std::string& text) { Print(stdout, text); }

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(50ms);
  }
}

Program::Program(std::wstring path, std::wstring shots) : path_(std::move(path)), shots_(std::move(shots)) {}

Program::~Program() {
  if (process_.hProcess) {
    if (Running()) TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

void Program::Start(const std::wstring& arguments) {
  std::wstring line = L"\"" + path_ + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(path_.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_))
    throw Fatal("cannot start " + Utf8(path_) + ": error " + std::to_string(GetLastError()));
  Note("started: " + Utf8(line));
  if (!WaitUntil([&] { return (sheet_ = FindSheet()) != nullptr || !Running(); }, 60s) || !sheet_)
    throw Fatal("the sheet did not appear");
  tabs_ = Tabs();
}

HWND Program::FindSheet() {
  for (HWND window : TopWindows(process_.dwProcessId))
    if (ClassOf(window) == kDialogClass && Text(window) == kSheetCaption) return window;
  return nullptr;
}

bool Program::Running() {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

long Program::WaitExit(std::chrono::milliseconds timeout) {
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<long>(code);
}

bool Program::TrySend(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result,
                      std::chrono::milliseconds timeout) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, static_cast<UINT>(timeout.count()),
                           &answer))
    return false;
  if (result) *result = static_cast<LRESULT>(answer);
  return true;
}

LRESULT Program::Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &result))
    throw Fatal("the program did not answer message " + std::to_string(message));
  return static_cast<LRESULT>(result);
}

HWND Program::Page() { return reinterpret_cast<HWND>(Send(sheet_, PSM_GETCURRENTPAGEHWND)); }

int Program::PageIndex() {
  HWND page = Page();
  return page ? static_cast<int>(Send(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page))) : -1;
}

HWND Program::Tabs() { return reinterpret_cast<HWND>(Send(sheet_, PSM_GETTABCONTROL)); }

std::vector<std::wstring> Program::TabTexts() {
  // TCM_GETITEMW fills a structure whose text buffer lies in the caller: here it
  // must lie in the program, so the structure and the buffer are made there.
  std::vector<std::wstring> texts;
  HWND tabs = Tabs();
  const int count = static_cast<int>(Send(tabs, TCM_GETITEMCOUNT));
  constexpr size_t kChars = 128;
  const size_t size = sizeof(TCITEMW) + kChars * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process_.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  if (!remote) throw Fatal("no memory in the program for the tab texts");
  for (int i = 0; i < count; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(TCITEMW));
    item.cchTextMax = kChars;
    WriteProcessMemory(process_.hProcess, remote, &item, sizeof item, nullptr);
    std::wstring text(kChars, L'\0');
    if (Send(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote)))
      ReadProcessMemory(process_.hProcess, item.pszText, text.data(), kChars * sizeof(wchar_t), nullptr);
    text.resize(wcsnlen(text.c_str(), kChars));
    texts.push_back(text);
  }
  VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
  return texts;
}

void Program::SwitchTo(int index) { PostMessageW(sheet_, PSM_SETCURSEL, static_cast<WPARAM>(index), 0); }

void Program::Click(HWND button) {
  if (!Enabled(button)) throw Fatal("a disabled button cannot be clicked");
  PostMessageW(button, BM_CLICK, 0, 0);
}

void Program::Choose(int id, const std::wstring& item) {
  HWND list = PageControl(id);
  const std::vector<std::wstring> items = Items(id);
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i] != item) continue;
    Send(list, CB_SETCURSEL, i);
    PostMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return;
  }
  throw Fatal("no item \"" + Utf8(item) + "\" in list " + std::to_string(id));
}

void Program::Type(int id, const std::wstring& text) {
  Send(PageControl(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Program::SystemCommand(WPARAM command) { PostMessageW(sheet_, WM_SYSCOMMAND, command, 0); }

std::wstring Program::Text(HWND window) {
  if (!window) return L"<no window>";
  const auto length = static_cast<size_t>(Send(window, WM_GETTEXTLENGTH));
  std::wstring text(length + 1, L'\0');
  const auto n = static_cast<size_t>(Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(n < text.size() ? n : text.size() - 1);
  return text;
}

std::vector<std::wstring> Program::Items(int id) {
  HWND list = PageControl(id);
  std::vector<std::wstring> items;
  const auto count = static_cast<int>(Send(list, CB_GETCOUNT));
  for (int i = 0; i < count; ++i) {
    const auto length = Send(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i));
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const auto n = Send(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    items.push_back(text);
  }
  return items;
}

Box Program::FindBox() {
  for (HWND window : TopWindows(process_.dwProcessId)) {
    if (window == sheet_ || ClassOf(window) != kDialogClass) continue;
    Box box{window, Text(window), {}};
    if (HWND text = GetDlgItem(window, kBoxTextId)) box.text = Text(text);
    return box;
  }
  return {};
}

void Program::Answer(const Box& box) {
  HWND ok = GetDlgItem(box.window, IDOK);
  if (ok)
    PostMessageW(ok, BM_CLICK, 0, 0);
  else
    PostMessageW(box.window, WM_COMMAND, IDOK, 0);
  if (!WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 10s))
    throw Fatal("the box \"" + Utf8(box.caption) + "\" does not close");
}

Box Program::ExpectBox(const std::wstring& caption, const std::wstring& text,
                       std::chrono::milliseconds timeout) {
  Box box;
  if (!WaitUntil([&] { return (box = FindBox()).window != nullptr; }, timeout))
    throw Fatal("no box \"" + Utf8(caption) + "\" appeared");
  ExpectEq(box.caption, caption, "box caption");
  ExpectEq(box.text, text, "box text");
  Answer(box);
  return box;
}

void Program::ExpectPage(int index, std::chrono::milliseconds timeout) {
  // The switch may take a connection first: the sheet is busy meanwhile.
  std::this_thread::sleep_for(200ms);
  const bool reached = WaitUntil(
      [&] {
        if (Box box = FindBox(); box.window) {
          Expect(false, "unexpected box \"" + Utf8(box.caption) + "\": " + Utf8(box.text));
          Answer(box);
        }
        LRESULT page = 0, at = -1;
        return Idle() && TrySend(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0, &page) && page &&
               TrySend(sheet_, PSM_HWNDTOINDEX, static_cast<WPARAM>(page), 0, &at) && at == index;
      },
      timeout);
  Expect(reached, "page " + std::to_string(index) + " is active and the sheet idle (page " +
                      std::to_string(PageIndex()) + ")");
}

void Program::Snapshot(HWND window, const std::wstring& name, RECT extra) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::this_thread::sleep_for(400ms);
  RECT r;
  GetWindowRect(window, &r);
  if (extra.right > extra.left) UnionRect(&r, &r, &extra);
  // Only what is on the screen can be copied from it.
  const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  IntersectRect(&r, &r, &screen);
  const std::wstring path = shots_ + L"\\" + name + L".png";
  Expect(ui_test::CaptureScreenPng(r, path), "snapshot " + Utf8(path));
}

std::string ReadFileText(const std::wstring& path) {
  std::string text;
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

std::wstring RegText(const wchar_t* key, const wchar_t* name) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return buffer;
}

DWORD RegNumber(const wchar_t* key, const wchar_t* name) {
  DWORD value = 0xDEADBEEF;
  DWORD size = sizeof value;
  RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

}  // namespace e2e
