// What the end-to-end driver does with the configurator's windows, from its own
// process: start KV4T_Cfg.exe, find its sheet and its message boxes, act on the
// controls as the user would (through the messages a click or a keystroke makes),
// read what the windows show, and take pictures of them.
//
// Actions that may open a modal box in the program (a tab switch, a click) are
// posted: a sent message would wait for the program's handler, which waits in the
// box for an answer that the driver could then never give. Reads and edits that
// open nothing are sent, with a time-out.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// A failure that ends the scenario (UTF-8 text).
struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
// A Unix path as Wine shows it (on drive Z:); other paths as they are.
std::wstring WinePath(const std::string& path);

// Checks that do not end the scenario: each failure is printed and counted.
void Expect(bool ok, const std::string& what);
void ExpectEq(const std::wstring& seen, const std::wstring& wanted, const std::string& what);
int Failures();
void Note(const std::string& text);

// Waits until done() holds, checking every 50 ms; false at the time-out.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A message box (or any other dialog of the program that is not the sheet).
struct Box {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;  // the box's message
};

class Program {
 public:
  Program(std::wstring path, std::wstring shots);
  const std::wstring& Path() const { return path_; }
  ~Program();  // kills the program if it still runs

  // Starts the program with the arguments and waits for its sheet.
  void Start(const std::wstring& arguments);
  // Waits for the program to end; its exit code, or -1 at the time-out.
  long WaitExit(std::chrono::milliseconds timeout = 30s);
  bool Running();
  DWORD ProcessId() const { return process_.dwProcessId; }

  HWND Sheet() const { return sheet_; }
  HWND Page();            // the active page's dialog
  int PageIndex();        // its position among the tabs
  HWND PageControl(int id) { return GetDlgItem(Page(), id); }
  HWND SheetButton(int id) { return GetDlgItem(sheet_, id); }
  HWND Tabs();
  // The texts of the tabs, in order (read from the program's memory).
  std::vector<std::wstring> TabTexts();

  // The user's actions. SwitchTo and Click are posted; the others are sent.
  void SwitchTo(int index);
  void Click(HWND button);
  // Chooses the item with this text in a drop-down list and tells the page, as the
  // list does when the user picks an item.
  void Choose(int id, const std::wstring& item);
  // Replaces an edit's text, as typing does (the edit reports the change).
  void Type(int id, const std::wstring& text);
  void SystemCommand(WPARAM command);

  // What the windows show.
  std::wstring Text(HWND window);
  std::wstring Text(int id) { return Text(PageControl(id)); }
  std::vector<std::wstring> Items(int id);
  bool Enabled(HWND window) { return window && IsWindowEnabled(window); }
  // Not busy: the tab control takes input again. Asks the program nothing, so it
  // answers also while the program's window thread is inside a device operation.
  bool Idle() { return Enabled(tabs_); }
  // Sends a message that opens nothing; false when the program does not answer in
  // time (its window thread may be inside a device operation, which blocks it).
  bool TrySend(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result,
               std::chrono::milliseconds timeout = 1s);

  // The program's dialog other than the sheet that is shown now, if any.
  Box FindBox();
  // Waits for a box (fatal after the time-out), checks its caption and text,
  // answers it with OK and waits for it to go.
  Box ExpectBox(const std::wstring& caption, const std::wstring& text,
                std::chrono::milliseconds timeout = 30s);
  // Waits until the program is idle on the given page with no box open; any box
  // that opens instead is a failure (answered, so the scenario goes on).
  void ExpectPage(int index, std::chrono::milliseconds timeout = 30s);
  void Answer(const Box& box);

  // A picture of the window (with anything of the program's over it) as
  // SHOTS\name.png.
  void Snapshot(HWND window, const std::wstring& name, RECT extra = {});

 private:
  LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
  HWND FindSheet();

  std::wstring path_;
  std::wstring shots_;
  PROCESS_INFORMATION process_{};
  HWND sheet_ = nullptr;
  HWND tabs_ = nullptr;
};

// The text of a file (UTF-8 or bytes), empty when it cannot be read.
std::string ReadFileText(const std::wstring& path);

// Registry values under HKEY_CURRENT_USER; "<missing>" and 0xDEADBEEF when absent.
std::wstring RegText(const wchar_t* key, const wchar_t* name);
DWORD RegNumber(const wchar_t* key, const wchar_t* name);

}  // namespace e2e
