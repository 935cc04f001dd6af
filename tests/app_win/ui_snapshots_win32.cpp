// Pictures of the program's own windows for a person to look at: the About box, a
// balloon tip over a button and the four pages, each saved as a PNG file in the
// folder given on the command line. The windows are shown on the screen (the Xvfb
// display under Wine) and copied from it.
//
//   ui_snapshots.exe FOLDER
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/about_dlg.h"
#include "app/balloon_tip.h"
#include "common/resource_ids.h"
#include "tests/support/screen_capture_win32.h"
#include "tests/support/ui_support_win32.h"

namespace {

using namespace std::chrono_literals;

std::wstring g_folder;
int g_failures = 0;

// Copies a rectangle of the screen into NAME.png.
void Capture(RECT r, const wchar_t* name) {
  const std::wstring path = g_folder + L"\\" + name + L".png";
  if (!ui_test::CaptureScreenPng(r, path)) {
    ++g_failures;
    std::fwprintf(stderr, L"cannot write %ls\n", path.c_str());
  }
}

void CaptureWindow(HWND window, const wchar_t* name, int margin = 0) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  ui_test::PumpFor(300ms);
  RECT r;
  GetWindowRect(window, &r);
  InflateRect(&r, margin, margin);
  Capture(r, name);
}

void CALLBACK CaptureAboutAndClose(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ui_test::VisibleDialog();
  if (!dialog) return;
  KillTimer(nullptr, timer);
  CaptureWindow(dialog, L"about");
  SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

void SnapAbout() {
  ui_test::TopWindow owner(20, 20, 600, 400);
  SetTimer(nullptr, 0, 300, CaptureAboutAndClose);
  ShowAboutBox(owner.get());
}

void SnapBalloon() {
  ui_test::TopWindow owner(100, 300, 560, 160);
  HWND button = CreateWindowExW(0, L"BUTTON", L"Применить", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 380, 80,
                                100, 26, owner.get(), nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  CBalloonTip tip;
  tip.Create(owner.get());
  tip.SetDelay(50);
  tip.AddTip(button, IDS_TIP_CANCEL);
  POINT p = ui_test::CentreOf(button);
  SetCursorPos(p.x, p.y);
  MSG msg{button, WM_MOUSEMOVE, 0, 0, GetTickCount(), p};
  tip.RelayEvent(msg);
  ui_test::PumpUntil([&] { return IsWindowVisible(tip.Window()) != FALSE; }, 3s);
  ui_test::PumpFor(300ms);
  RECT r;
  GetWindowRect(owner.get(), &r);
  RECT t;
  GetWindowRect(tip.Window(), &t);
  UnionRect(&r, &r, &t);
  InflateRect(&r, 4, 4);
  Capture(r, L"balloon_tip");
}

void Fill(HWND page, int id, std::initializer_list<const wchar_t*> items, int selected = 0) {
  for (const wchar_t* item : items) SendDlgItemMessageW(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendDlgItemMessageW(page, id, CB_SETCURSEL, selected, 0);
}

void FillLine(HWND page) {
  Fill(page, IDC_BAUD, {L"2400", L"4800", L"9600", L"14400", L"19200", L"28800", L"38400", L"57600", L"115200"}, 2);
  Fill(page, IDC_BYTESIZE, {L"7", L"8"}, 1);
  Fill(page, IDC_PARITY, {L"Отсутствует", L"Нечетность", L"Четность"});
  Fill(page, IDC_STOPBITS, {L"1", L"2"});
}

void SetSpin(HWND page, int spin, int low, int high, int pos) {
  SendDlgItemMessageW(page, spin, UDM_SETRANGE32, low, high);
  SendDlgItemMessageW(page, spin, UDM_SETPOS32, 0, pos);
}

void SnapPage(int template_id, const wchar_t* name, void (*fill)(HWND)) {
  ui_test::TopWindow host(40, 40, 200, 200);
  HWND page = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), host.get(),
                                 ui_test::TemplateOnlyProc, 0);
  if (!page) {
    ++g_failures;
    std::fwprintf(stderr, L"no page %d\n", template_id);
    return;
  }
  RECT r;
  GetWindowRect(page, &r);
  RECT frame{0, 0, r.right - r.left, r.bottom - r.top};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  SetWindowPos(host.get(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOMOVE);
  SetWindowPos(page, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  fill(page);
  CaptureWindow(page, name);
}

void SnapPages() {
  SnapPage(IDD_RS485, L"page_rs485", [](HWND page) {
    FillLine(page);
    Fill(page, IDC_PROTOCOL, {L"RAVIK", L"MODBUS-RTU", L"MODBUS-ASCII", L"DCON"}, 2);
    Fill(page, IDC_ADDRESS_LENGTH, {L"8 битный", L"11 битный"}, 1);
    SetSpin(page, IDC_RS485_ADDRESS_SPIN, 0, 2047, 2047);
    SetSpin(page, IDC_RS485_DELAY_SPIN, 0, 45, 2);
  });
  SnapPage(IDD_LOOP, L"page_loop", [](HWND page) {
    FillLine(page);
    Fill(page, IDC_LOOP_TYPE, {L"ZR-40, версия A15 с чётностью (ZR40A15.HEX)"});
    SetSpin(page, IDC_LOOP_POLL_SPIN, 1, 1000, 3);
  });
  SnapPage(IDD_TEST, L"page_test", [](HWND page) {
    SetDlgItemTextW(page, IDC_TEST_STATUS, L"Считывание ячейки: 1F");
    SetDlgItemTextW(page, IDC_TEST_LOG,
                    L"Тестирование началось...\r\nуспешное открытие порта \"COM5\"\r\n"
                    L"по адресу 16 подключен KV4T (KV4T-1.3)\r\n00-03: 0001 0002 0003 0004\r\n");
  });
  SnapPage(IDD_SETTINGS, L"page_settings", [](HWND page) {
    Fill(page, IDC_PORT, {L"COM1", L"COM5"}, 1);
    Fill(page, IDC_ADAPTOR, {L"Автоматический", L"Управляемый (KV8)"}, 1);
    FillLine(page);
    Fill(page, IDC_ADDRESS_LENGTH, {L"8 битный", L"11 битный"});
    SetSpin(page, IDC_LINK_ADDRESS_SPIN, 0, 254, 16);
  });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: ui_snapshots FOLDER\n");
    return 2;
  }
  g_folder = argv[1];
  CreateDirectoryW(g_folder.c_str(), nullptr);
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&init);
  SnapAbout();
  SnapBalloon();
  SnapPages();
  return g_failures == 0 ? 0 : 1;
}
