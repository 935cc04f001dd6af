// The end-to-end driver: starts KV4T_Cfg.exe, operates its windows as a user
// would against the simulated converter on a COM port, and checks what the
// windows show, what the converter was told (the simulator's state file) and what
// the program saved. Each scenario saves pictures of the windows it passes.
//
//   kv4t_e2e SCENARIO PROGRAM SHOTS
//
// $KV4T_WINE_PORT names the simulator's port ("COM61"), $KV4T_SIM_STATE its state
// file. Exit code 0 when every check passed, 1 otherwise, 2 for a bad call.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

#include "common/resource_ids.h"
#include "tests/e2e/driver_support.h"

namespace {

using namespace e2e;

constexpr wchar_t kConfigKey[] = L"SOFTWARE\\RAVIK\\KV4T-Config";
constexpr wchar_t kDeviceKey[] = L"SOFTWARE\\RAVIK\\KV4T-Config\\configuration\\0";

enum Tab { kSettings, kRs485, kLoop, kTest };

struct Context {
  Program& app;
  std::wstring port;   // "COM61"
  std::wstring state;  // the simulator's state file
  std::wstring shots;  // the folder for pictures and files

  std::wstring PortNumber() const { return port.substr(3); }
  std::string State() const { return ReadFileText(state); }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The simulator has been asked for a parameter at least once.
bool Requested(const Context& c, const std::string& name) {
  const std::string state = c.State();
  const size_t requests = state.find("\"requests\"");
  return requests != std::string::npos && state.find("\"" + name + "\":", requests) != std::string::npos;
}

std::string RequestCounts(const Context& c) {
  const std::string state = c.State();
  const size_t from = state.find("\"requests\"");
  const size_t to = state.find('}', from);
  return from == std::string::npos ? std::string() : state.substr(from, to - from);
}

void ExpectShown(Program& app, const std::map<int, std::wstring>& shown, const std::string& where) {
  for (const auto& [id, text] : shown) ExpectEq(app.Text(id), text, where + " control " + std::to_string(id));
}

// The sheet's first page at start: the port given on the command line, the tabs,
// the buttons.
void CheckStart(Context& c) {
  Program& app = c.app;
  Expect(app.PageIndex() == kSettings, "the computer-port page comes first");
  ExpectEq(app.Text(IDC_PORT), c.port, "port list");
  const std::vector<std::wstring> tabs = app.TabTexts();
  const std::vector<std::wstring> wanted = {L"RS-485 компьютера", L"RS-485 KV4T", L"Токовая пет&ля", L"Тест"};
  Expect(tabs == wanted, "the tabs in order");
  // OK keeps the platform's own text: Latin "OK", or Cyrillic "ОК" on a Russian system.
  const std::wstring ok = app.Text(app.SheetButton(IDOK));
  Expect(ok == L"OK" || ok == L"\u041e\u041a", "OK button: \"" + Utf8(ok) + "\"");
  ExpectEq(app.Text(app.SheetButton(IDCANCEL)), L"Отмена", "Cancel button");
  ExpectEq(app.Text(app.SheetButton(IDC_SHEET_APPLY)), L"Применить", "Apply button");
  ExpectEq(app.Text(app.SheetButton(IDHELP)), L"Справка", "Help button");
  Expect(!app.Enabled(app.SheetButton(IDC_SHEET_APPLY)), "Apply starts disabled");
}

void CancelAndExit(Program& app) {
  app.Click(app.SheetButton(IDCANCEL));
  Expect(app.WaitExit() == 0, "the program ends with exit code 0");
}

HWND VisibleWindowOfClass(DWORD process, const wchar_t* name) {
  for (HWND window = FindWindowExW(nullptr, nullptr, name, nullptr); window;
       window = FindWindowExW(nullptr, window, name, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// The size a balloon tip takes for a one-line text without icon: the text in the
// tip's font, 12 pixels either side, 10 above and below, and the pointer's 25
// pixels under the body.
SIZE BalloonSizeFor(const std::wstring& text) {
  RECT extent{0, 0, 0, 0};
  if (HDC dc = GetDC(nullptr)) {
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }
  return {extent.right - extent.left + 24, extent.bottom - extent.top + 20 + 25};
}

// The mouse rests over a control until its balloon tip shows, the size of `text`;
// a picture of both.
void BalloonOver(Context& c, HWND control, const std::wstring& name, const std::wstring& text) {
  RECT r;
  GetWindowRect(control, &r);
  const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  SetCursorPos(at.x, at.y);
  POINT client = at;
  ScreenToClient(control, &client);
  PostMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
  HWND tip = nullptr;
  const bool shown =
      WaitUntil([&] { return (tip = VisibleWindowOfClass(c.app.ProcessId(), L"KV4T_BalloonTip")) != nullptr; }, 5s);
  Expect(shown, "a balloon tip shows over control " + std::to_string(GetDlgCtrlID(control)));
  if (shown) {
    RECT tip_rect;
    GetWindowRect(tip, &tip_rect);
    // The pointer's tip lies 12 pixels left of the window's right edge and 10 above
    // its bottom.
    Expect(tip_rect.right - 12 == at.x && tip_rect.bottom - 10 == at.y,
           "the balloon's pointer ends at the cursor (" + std::to_string(at.x) + ", " + std::to_string(at.y) +
               "): balloon at (" + std::to_string(tip_rect.left) + ", " + std::to_string(tip_rect.top) + ", " +
               std::to_string(tip_rect.right) + ", " + std::to_string(tip_rect.bottom) + ")");
    // The tip draws its text and has no window text of its own: its size is that
    // of the text it shows.
    const SIZE wanted = BalloonSizeFor(text);
    const SIZE seen{tip_rect.right - tip_rect.left, tip_rect.bottom - tip_rect.top};
    Expect(seen.cx == wanted.cx && seen.cy == wanted.cy,
           "the balloon over control " + std::to_string(GetDlgCtrlID(control)) + " has the size of \"" +
               Utf8(text) + "\" (" + std::to_string(wanted.cx) + " x " + std::to_string(wanted.cy) +
               "), found " + std::to_string(seen.cx) + " x " + std::to_string(seen.cy));
    c.app.Snapshot(c.app.Sheet(), name, tip_rect);
  }
  SetCursorPos(0, 0);
  WaitUntil([&] { return !VisibleWindowOfClass(c.app.ProcessId(), L"KV4T_BalloonTip"); }, 3s);
}

void AboutBox(Context& c) {
  c.app.SystemCommand(IDM_ABOUT);
  Box about;
  if (!WaitUntil([&] { return (about = c.app.FindBox()).window != nullptr; }, 10s)) throw Fatal("no About box");
  ExpectEq(about.caption, L"О программе...", "About box caption");
  ExpectEq(c.app.Text(GetDlgItem(about.window, IDC_ABOUT_TITLE)), L"Конфигуратор KV4T версия 1.0.25",
           "About box title");
  Expect(c.app.Text(GetDlgItem(about.window, IDC_ABOUT_BUILD)).starts_with(L"Скомпилировано "),
         "About box build line");
  c.app.Snapshot(about.window, L"about");
  c.app.Answer(about);
}

// Starts the program on the simulator's port and leaves the first tab, which
// reaches the converter: the RS-485 tab opens.
void StartAndReach(Context& c) {
  c.app.Start(L"/port:" + c.PortNumber());
  c.app.SwitchTo(kRs485);
  c.app.ExpectPage(kRs485);
}

// Start with /port:N: the port is selected; leaving the first tab connects; every
// tab, the About box and balloon tips (of the sheet's buttons and of controls on
// every tab) in pictures; Cancel saves the tree.
void StartScenario(Context& c) {
  Program& app = c.app;
  // Away from the screen's left edge, where the balloons open.
  app.Start(L"/port:" + c.PortNumber() + L" /x:300 /y:120");
  CheckStart(c);
  app.Snapshot(app.Sheet(), L"1-settings");
  BalloonOver(c, app.PageControl(IDC_PORT), L"balloon-port", L"Последовательный порт, к которому подключен KV4T");
  BalloonOver(c, app.SheetButton(IDCANCEL), L"balloon-cancel",
              L"Выйти из программы без сохранения изменённой конфигурации");

  // Help opens the help file beside the program in the help viewer (of the
  // program's own process); without the file it opens nothing.
  std::wstring help = app.Path();
  help.replace(help.size() - 4, 4, L".CHM");
  if (GetFileAttributesW(help.c_str()) != INVALID_FILE_ATTRIBUTES) {
    app.Click(app.SheetButton(IDHELP));
    HWND viewer = nullptr;
    Expect(WaitUntil([&] { return (viewer = VisibleWindowOfClass(app.ProcessId(), L"HH Parent")) != nullptr; }, 15s),
           "Help opens the help viewer");
    if (viewer) {
      std::this_thread::sleep_for(1s);
      app.Snapshot(viewer, L"help");
      PostMessageW(viewer, WM_CLOSE, 0, 0);
      Expect(WaitUntil([&] { return !VisibleWindowOfClass(app.ProcessId(), L"HH Parent"); }, 10s),
             "the help viewer closes");
    }
  } else {
    // The click sent: once the program has answered it, the button has done
    // whatever it does.
    Expect(app.TrySend(app.SheetButton(IDHELP), BM_CLICK, 0, 0, nullptr, 10s),
           "the program answers the click on Help");
    Expect(!app.FindBox().window, "Help without a help file opens nothing");
  }

  Expect(!Requested(c, "dev"), "nothing asked of the converter before leaving the first tab");
  app.SwitchTo(kRs485);
  app.ExpectPage(kRs485);
  Expect(Requested(c, "dev"), "leaving the first tab asks the converter for its name");
  // The converter answered at the link settings: they are its network settings.
  ExpectShown(app,
              {{IDC_BAUD, L"9600"}, {IDC_BYTESIZE, L"8"}, {IDC_PARITY, L"Отсутствует"}, {IDC_STOPBITS, L"1"},
               {IDC_PROTOCOL, L"RAVIK"}, {IDC_ADDRESS_LENGTH, L"8 битный"}, {IDC_RS485_ADDRESS, L"16"}},
              "RS-485 page");
  app.Snapshot(app.Sheet(), L"2-rs485");
  BalloonOver(c, app.PageControl(IDC_BAUD), L"balloon-rs485-baud", L"Скорость обмена последовательного порта KV4T");
  app.SwitchTo(kLoop);
  app.ExpectPage(kLoop);
  app.Snapshot(app.Sheet(), L"3-loop");
  BalloonOver(c, app.PageControl(IDC_LOOP_TYPE), L"balloon-loop-type", L"Тип прибора, подключенного к KV4T");
  BalloonOver(c, app.PageControl(IDC_LOOP_POLL), L"balloon-loop-poll", L"Частота опроса прибора, подключенного к KV4T");
  app.SwitchTo(kTest);
  app.ExpectPage(kTest);
  app.Snapshot(app.Sheet(), L"4-test");
  BalloonOver(c, app.PageControl(IDC_TEST_BUTTON), L"balloon-test-button", L"Начать тестирование KV4T");
  AboutBox(c);

  CancelAndExit(app);
  ExpectEq(RegText(kDeviceKey, L"type"), L"kv4t_device", "saved object type");
  ExpectEq(RegText(kDeviceKey, L"port"), c.port, "saved port");
  Expect(RegNumber(kDeviceKey, L"baud") == 9600, "saved baud rate");
}

// A converter that answers nothing keeps the user on the first tab, with the
// reason and the refusal.
void SilentConverterScenario(Context& c) {
  Program& app = c.app;
  app.Start(L"/port:" + c.PortNumber());
  app.SwitchTo(kRs485);
  app.ExpectBox(L"Ошибка", L"Не удалось установить связь с прибором.");
  app.ExpectBox(L"Переключение вкладок блокировано",
                L"Переключение вкладок блокировано, поскольку нет связи с прибором");
  WaitUntil([&] { return app.Idle(); }, 10s);
  Expect(app.PageIndex() == kSettings, "the first tab stays");
  CancelAndExit(app);
}

// The RS-485 page: a refused address, an unsupported frame, then new settings
// written with Apply, which the first tab then shows; OK with nothing modified
// asks the converter nothing.
void ApplyRs485Scenario(Context& c) {
  Program& app = c.app;
  StartAndReach(c);

  app.Type(IDC_RS485_ADDRESS, L"300");
  app.SwitchTo(kLoop);
  app.ExpectBox(L"Нельзя выполнить операцию",
                L"Недопустимое значение сетевого адреса: 300\nправильное значение при данном типе адресации от 0 до 254");
  WaitUntil([&] { return app.Idle(); }, 10s);
  Expect(app.PageIndex() == kRs485, "the RS-485 page stays");

  app.Choose(IDC_BYTESIZE, L"7");
  app.ExpectBox(L"Неверные сетевые настройки (1)", L"Внимание, этот режим не поддерживается KV4T!");
  app.Choose(IDC_BYTESIZE, L"8");

  app.Choose(IDC_BAUD, L"19200");
  app.Type(IDC_RS485_ADDRESS, L"20");
  Expect(WaitUntil([&] { return app.Enabled(app.SheetButton(IDC_SHEET_APPLY)); }, 5s), "Apply enabled by edits");
  app.Snapshot(app.Sheet(), L"rs485-edited");
  app.Click(app.SheetButton(IDC_SHEET_APPLY));
  app.ExpectPage(kRs485);
  Expect(WaitUntil([&] { return Contains(c.State(), "\"line\": {\"baud\": 19200,"); }, 10s),
         "the converter now works at 19200 baud");
  Expect(Contains(c.State(), "\"address\": 20,"), "the converter's address is 20");
  Expect(!app.Enabled(app.SheetButton(IDC_SHEET_APPLY)), "Apply disabled after the write");

  app.SwitchTo(kSettings);
  app.ExpectPage(kSettings);
  ExpectShown(app, {{IDC_BAUD, L"19200"}, {IDC_LINK_ADDRESS, L"20"}}, "computer-port page after the write");
  app.Snapshot(app.Sheet(), L"settings-after-apply");

  const std::string before = RequestCounts(c);
  app.Click(app.SheetButton(IDOK));
  Expect(app.WaitExit() == 0, "OK ends the program with exit code 0");
  ExpectEq(Wide(RequestCounts(c)), Wide(before), "OK with no modified page asks the converter nothing");
  Expect(RegNumber(kDeviceKey, L"baud") == 19200 && RegNumber(kDeviceKey, L"address") == 20,
         "the registry keeps the converter's new link settings");
}

// The current-loop page reads the instrument from the converter, and writes the
// polling interval typed.
void LoopReadScenario(Context& c) {
  Program& app = c.app;
  StartAndReach(c);
  app.SwitchTo(kLoop);
  app.ExpectPage(kLoop);
  app.Click(app.PageControl(IDC_LOOP_READ));
  app.ExpectPage(kLoop);
  Expect(Requested(c, "dEv.L"), "the converter was asked for the loop instrument");
  ExpectShown(app,
              {{IDC_LOOP_TYPE, L"ZR-40, версия A14 (ZR40A14.HEX)"}, {IDC_BAUD, L"4800"}, {IDC_BYTESIZE, L"8"},
               {IDC_PARITY, L"Отсутствует"}, {IDC_STOPBITS, L"2"}, {IDC_LOOP_POLL, L"5"}},
              "current-loop page after the read");
  Expect(!app.Enabled(app.SheetButton(IDC_SHEET_APPLY)), "the page is clean after the read");
  app.Snapshot(app.Sheet(), L"loop-read");

  // The checks take 1 to 60 seconds; at 4800 baud this instrument's spin starts at
  // 3 and does not take 2 as its position. Apply writes the 2 that was typed.
  app.Type(IDC_LOOP_POLL, L"2");
  Expect(WaitUntil([&] { return app.Enabled(app.SheetButton(IDC_SHEET_APPLY)); }, 5s), "Apply enabled by the edit");
  app.Click(app.SheetButton(IDC_SHEET_APPLY));
  app.ExpectPage(kLoop);
  Expect(WaitUntil([&] { return Contains(c.State(), "\"FrEq\": {\"value\": 2}"); }, 10s),
         "Apply writes the polling interval typed, 2 s");
  Expect(WaitUntil([&] { return !app.Enabled(app.SheetButton(IDC_SHEET_APPLY)); }, 5s),
         "the page is clean after the write");
  CancelAndExit(app);
  Expect(RegNumber(kDeviceKey, L"kv7_pollfreq") == 2, "the registry keeps the polling interval written");
}

// The line test to its last line, the sheet locked meanwhile; a second test stopped.
void LineTestScenario(Context& c) {
  Program& app = c.app;
  StartAndReach(c);
  app.SwitchTo(kTest);
  app.ExpectPage(kTest);
  HWND button = app.PageControl(IDC_TEST_BUTTON);
  ExpectEq(app.Text(button), L"Т&ест", "start button");

  app.Click(button);
  Expect(WaitUntil([&] { return app.Text(button) == L"&Остановить"; }, 10s), "the button stops the test");
  Expect(!app.Enabled(app.SheetButton(IDOK)) && !app.Enabled(app.Tabs()), "the sheet is locked while the test runs");
  // Sent, not posted: when the program has answered, it has handled the command.
  Expect(app.TrySend(app.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0, nullptr, 10s),
         "the program answers the close box while the test runs");
  Expect(app.Running() && IsWindow(app.Sheet()), "the close box does nothing while the test runs");
  Expect(WaitUntil([&] { return app.Text(button) == L"&Тест"; }, 120s), "the test ends");
  app.ExpectPage(kTest);
  const std::wstring log = app.Text(IDC_TEST_LOG);
  Expect(log.starts_with(L"Тестирование началось...\r\nуспешное открытие порта \"" + c.port + L"\"\r\n"),
         "the protocol begins with the port");
  Expect(log.find(L"по адресу 16 подключен KV4T (KV4T-1.3)\r\n") != std::wstring::npos, "the converter is named");
  Expect(log.find(L"параметры соединения по токовой петле: 9600 8-n-2\r\n") != std::wstring::npos,
         "the loop line settings");
  Expect(log.find(L"00-03: 4B00 4B01 4B02 4B03\r\n") != std::wstring::npos, "the first register row");
  Expect(log.ends_with(L"FC-FF: 4BFC 4BFD 4BFE 4BFF\r\nАдреса считанных ячеек: 00-FF\r\nТестирование завершено\r\n"),
         "the protocol ends with the summary: " + Utf8(log.substr(log.size() > 120 ? log.size() - 120 : 0)));
  Expect(app.Enabled(app.SheetButton(IDOK)), "the sheet is free again");
  app.Snapshot(app.Sheet(), L"line-test");

  app.Click(button);
  Expect(WaitUntil([&] { return app.Text(IDC_TEST_STATUS).starts_with(L"Считывание ячейки: 1"); }, 30s),
         "the second test reads registers");
  app.Click(button);
  Expect(WaitUntil([&] { return app.Text(button) == L"&Тест"; }, 60s), "the stopped test ends");
  const std::wstring stopped = app.Text(IDC_TEST_LOG);
  Expect(stopped.ends_with(L"Тестирование прервано\r\n"), "the stopped protocol says so");
  Expect(stopped.find(L"Адрес") == std::wstring::npos, "a stopped scan has no summary");
  Expect(WaitUntil([&] { return Contains(c.State(), "\"protocol\": \"ravik\""); }, 5s),
         "the converter speaks RAVIK again");
  CancelAndExit(app);
}

// A configuration file with /silent: the failed connection shows nothing, the
// other tabs open, and the file receives the settings.
void FileSilentScenario(Context& c) {
  Program& app = c.app;
  const std::wstring file = c.shots + L"\\settings.kv4tcfg";
  DeleteFileW(file.c_str());
  app.Start(L"/port:" + c.PortNumber() + L" /silent \"" + file + L"\"");
  app.SwitchTo(kRs485);
  app.ExpectPage(kRs485, 60s);
  CancelAndExit(app);
  const std::string saved = ReadFileText(file);
  const std::string signature("K\0V\0\x34\0T\0C\0F\0G\0\x31\0", 16);
  Expect(Contains(saved.substr(0, 32), signature), "the configuration file was written");
  HKEY key;
  const bool registry = RegOpenKeyExW(HKEY_CURRENT_USER, kConfigKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (registry) RegCloseKey(key);
  Expect(!registry, "file mode leaves the registry alone");
}

void PlacementScenario(Context& c) {
  Program& app = c.app;
  // w = 0 alone does not minimize.
  app.Start(L"/port:" + c.PortNumber() + L" /x:10 /y:20 /w:0");
  RECT r;
  GetWindowRect(app.Sheet(), &r);
  Expect(r.left == 10 && r.top == 20,
         "the sheet at (10, 20), found at (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")");
  Expect(!IsIconic(app.Sheet()), "not minimized");
  CancelAndExit(app);
}

void MinimizedScenario(Context& c) {
  Program& app = c.app;
  app.Start(L"/port:" + c.PortNumber() + L" /w:0 /h:0");
  Expect(IsIconic(app.Sheet()), "w = 0 and h = 0 start minimized");
  app.SystemCommand(SC_RESTORE);
  Expect(WaitUntil([&] { return !IsIconic(app.Sheet()); }, 5s), "restored");
  CancelAndExit(app);
}

// The demo's walk: every tab with what it shows after the converter answered; new
// RS-485 settings written with Apply on the way.
void TourScenario(Context& c) {
  Program& app = c.app;
  app.Start(L"/port:" + c.PortNumber());
  app.Snapshot(app.Sheet(), L"1-settings");
  app.SwitchTo(kRs485);
  app.ExpectPage(kRs485);
  app.Choose(IDC_BAUD, L"19200");
  app.Type(IDC_RS485_ADDRESS, L"20");
  app.Snapshot(app.Sheet(), L"2-rs485");
  app.Click(app.SheetButton(IDC_SHEET_APPLY));
  app.ExpectPage(kRs485);
  Expect(WaitUntil([&] { return Contains(c.State(), "\"line\": {\"baud\": 19200,") &&
                                Contains(c.State(), "\"address\": 20,"); }, 10s),
         "the converter now works at 19200 baud, address 20");
  Note("Apply: the converter now works at 19200 baud, address 20");
  app.SwitchTo(kLoop);
  app.ExpectPage(kLoop);
  app.Click(app.PageControl(IDC_LOOP_READ));
  app.ExpectPage(kLoop);
  app.Snapshot(app.Sheet(), L"3-loop");
  app.SwitchTo(kTest);
  app.ExpectPage(kTest);
  HWND button = app.PageControl(IDC_TEST_BUTTON);
  app.Click(button);
  WaitUntil([&] { return app.Text(button) == L"&Остановить"; }, 10s);
  Expect(WaitUntil([&] { return app.Text(button) == L"&Тест"; }, 120s), "the line test ends");
  app.Snapshot(app.Sheet(), L"4-test");
  AboutBox(c);
  CancelAndExit(app);
}

const std::map<std::wstring, void (*)(Context&)> kScenarios = {
    {L"start", StartScenario},          {L"silent_converter", SilentConverterScenario},
    {L"apply_rs485", ApplyRs485Scenario}, {L"loop_read", LoopReadScenario},
    {L"line_test", LineTestScenario},    {L"file_silent", FileSilentScenario},
    {L"placement", PlacementScenario},   {L"minimized", MinimizedScenario},
    {L"tour", TourScenario},
};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || !kScenarios.count(argv[1])) {
    std::fprintf(stderr, "usage: kv4t_e2e SCENARIO PROGRAM SHOTS\n");
    return 2;
  }
  const std::string port = Environment("KV4T_WINE_PORT");
  if (port.size() < 4 || port.compare(0, 3, "COM") != 0) {
    std::fprintf(stderr, "kv4t_e2e: KV4T_WINE_PORT names no COM port\n");
    return 2;
  }
  const std::wstring shots = WinePath(Utf8(argv[3]));
  CreateDirectoryW(shots.c_str(), nullptr);
  Program app(WinePath(Utf8(argv[2])), shots);
  Context context{app, Wide(port), WinePath(Environment("KV4T_SIM_STATE")), shots};
  // Every scenario starts as on a first start: the scenarios share one prefix, and a
  // tree left by another (say, at the rate Apply moved the converter to) would
  // point the program at a line the fresh simulator does not use.
  RegDeleteTreeW(HKEY_CURRENT_USER, kConfigKey);
  try {
    kScenarios.at(argv[1])(context);
  } catch (const Fatal& fatal) {
    Expect(false, fatal.what());
    if (Box box = app.FindBox(); box.window)
      Note("open box \"" + Utf8(box.caption) + "\": " + Utf8(box.text));
    app.Snapshot(GetDesktopWindow(), L"failure");
  }
  Note(Failures() ? "scenario " + Utf8(argv[1]) + ": " + std::to_string(Failures()) + " failed checks"
                  : "scenario " + Utf8(argv[1]) + ": passed");
  return Failures() ? 1 : 0;
}
