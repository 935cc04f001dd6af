#include "app/sheet_window.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "app/about_dlg.h"
#include "app/html_help.h"
#include "app/program_cursor.h"
#include "app/window_calls.h"
#include "app/window_notices.h"
#include "common/code_pages.h"
#include "common/resource_ids.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;

std::wstring ProgramString(UINT id) {
  // With a length of 0, LoadStringW hands out a pointer to the read-only text in
  // the resource itself, which is not terminated.
  const wchar_t* text = nullptr;
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

HICON ProgramIcon(int size_metric_x, int size_metric_y) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                       IMAGE_ICON, GetSystemMetrics(size_metric_x),
                                       GetSystemMetrics(size_metric_y), LR_DEFAULTCOLOR));
}

// The line test's protocol: Courier in the default character set. The protocol
// box has always asked for 4 points; where Courier is the raster font of old,
// that gives its smallest size, about 8 points, but where the characters come from
// a scalable font (Cyrillic under Wine, any font substituted for Courier) 4 points
// are too small to read. 8 points gives the size the raster font showed.
constexpr int kProtocolFontTenthsOfPoint = 80;

HFONT CreateProtocolFont(HWND window) {
  LOGFONTW font{};
  HDC dc = GetDC(window);
  font.lfHeight = -MulDiv(kProtocolFontTenthsOfPoint, dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 720);
  if (dc) ReleaseDC(window, dc);
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(font.lfFaceName, L"Courier", LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

// What a control's WM_COMMAND notification tells its page.
bool ControlEventOf(WORD code, ControlEvent& event) {
  switch (code) {
    case CBN_SELCHANGE:
      event = ControlEvent::selection_changed;
      return true;
    case EN_CHANGE:
      event = ControlEvent::text_changed;
      return true;
    case BN_CLICKED:
      event = ControlEvent::clicked;
      return true;
    default:
      return false;
  }
}

}  // namespace

SheetWindow::SheetWindow(WindowNotices& notices) : notices_(notices) {
  for (int i = 0; i < CCfgSheet::kPageCount; ++i) {
    pages_[i].sheet = this;
    pages_[i].index = i;
  }
}

SheetWindow::~SheetWindow() {
  if (icon_) DestroyIcon(icon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

void SheetWindow::Run(ConverterDevice& device, const CommandLineOptions& options) {
  CCfgSheet logic(&device);
  logic_ = &logic;
  logic.Attach(this);
  ended_ = false;
  if (!icon_) icon_ = ProgramIcon(SM_CXICON, SM_CYICON);
  if (!smallIcon_) smallIcon_ = ProgramIcon(SM_CXSMICON, SM_CYSMICON);

  // The platform keeps pointers to the titles only while it builds the pages.
  std::wstring titles[CCfgSheet::kPageCount];
  PROPSHEETPAGEW sheets[CCfgSheet::kPageCount] = {};
  for (int i = 0; i < CCfgSheet::kPageCount; ++i) {
    CDlgPage& page = logic.Page(i);
    titles[i] = ProgramString(static_cast<UINT>(page.CaptionStringId()));
    PROPSHEETPAGEW& sheet = sheets[i];
    sheet.dwSize = sizeof sheet;
    // Every page has help: the button opens the program's help file.
    sheet.dwFlags = PSP_USETITLE | PSP_HASHELP;
    sheet.hInstance = GetModuleHandleW(nullptr);
    sheet.pszTemplate = MAKEINTRESOURCEW(page.TemplateId());
    sheet.pszTitle = titles[i].c_str();
    sheet.pfnDlgProc = &SheetWindow::PageProc;
    sheet.lParam = reinterpret_cast<LPARAM>(&pages_[i]);
  }
  const std::wstring caption = ProgramString(IDS_SHEET_CAPTION);
  PROPSHEETHEADERW header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_USECALLBACK | PSH_HASHELP;
  header.hInstance = GetModuleHandleW(nullptr);
  header.pszCaption = caption.c_str();
  header.nPages = CCfgSheet::kPageCount;
  header.nStartPage = CCfgSheet::kSettingsPage;
  header.ppsp = sheets;
  header.pfnCallback = &SheetWindow::SheetCallback;

  // A modeless sheet answers its window (or -1 / 0 when it could not be made); the
  // first page has been created and activated by then.
  const auto made = PropertySheetW(&header);
  HWND window = made == -1 ? nullptr : reinterpret_cast<HWND>(made);
  if (window && window_ != window) AttachSheet(window);
  if (window_) {
    Initialize(options);
    Loop();
  }
  if (window_) DestroyWindow(window_);
  notices_.SetMainWindow(nullptr);
  window_ = nullptr;
  logic_ = nullptr;
}

int CALLBACK SheetWindow::SheetCallback(HWND, UINT message, LPARAM lparam) {
  // The sheet appears only once the program has placed it (command-line position,
  // minimized start): its template loses WS_VISIBLE and Initialize shows it. The
  // template is a DLGTEMPLATEEX (signature 0xFFFF in its second word, the style at
  // byte 12) or a DLGTEMPLATE (the style first).
  if (message == PSCB_PRECREATE && lparam) {
    auto* words = reinterpret_cast<WORD*>(lparam);
    auto* style = words[1] == 0xFFFF ? reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(lparam) + 12)
                                     : reinterpret_cast<DWORD*>(lparam);
    *style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
  return 0;
}

void SheetWindow::AttachSheet(HWND window) {
  window_ = window;
  SetWindowSubclass(window, &SheetWindow::SheetProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  notices_.SetMainWindow(window);
}

void SheetWindow::Initialize(const CommandLineOptions& options) {
  HMENU menu = GetSystemMenu(window_, FALSE);
  const std::wstring about = ProgramString(IDS_ABOUT_MENU);
  if (menu && !about.empty()) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, about.c_str());
  }
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  tip_.Create(window_);
  tip_.AddTip(GetDlgItem(window_, IDC_SHEET_APPLY), IDS_TIP_APPLY);
  tip_.AddTip(GetDlgItem(window_, IDOK), IDS_TIP_OK);
  tip_.AddTip(GetDlgItem(window_, IDCANCEL), IDS_TIP_CANCEL);

  logic_->OnInitDialog();

  if (options.x >= 0 && options.y >= 0)
    SetWindowPos(window_, nullptr, options.x, options.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The platform writes its buttons in the language of its own installation.
  SetDlgItemTextW(window_, IDCANCEL, ProgramString(IDS_SHEET_CANCEL).c_str());
  SetDlgItemTextW(window_, IDC_SHEET_APPLY, ProgramString(IDS_SHEET_APPLY).c_str());
  SetDlgItemTextW(window_, IDHELP, ProgramString(IDS_SHEET_HELP).c_str());
  const bool minimized = options.w == 0 && options.h == 0;
  ShowWindow(window_, minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  if (!minimized) SetForegroundWindow(window_);
}

// Why the program's own loop: the balloon tips must see every mouse message of
// the sheet and its pages before the dialog handling does, as a modal sheet's
// pre-translation would let them. PropertySheetW run modally keeps its loop to
// itself; the alternative, a WH_GETMESSAGE hook on the thread, would also take the
// messages of every message box and of the About box, which have no tips, and
// would need its own installation and removal around the sheet. A modeless sheet
// in this loop sees exactly its own messages, and the boxes keep their own loops.
void SheetWindow::Loop() {
  MSG message;
  while (!ended_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    // 0: WM_QUIT, the process is asked to end; -1: no message can come any more.
    if (got == 0 || got == -1) break;
    RelayToTips(message);
    if (!PropSheet_IsDialogMessage(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    // The platform ends a sheet itself only when its buttons are pressed through
    // PSM_PRESSBUTTON, which goes past the program's handling of the buttons.
    if (!PropSheet_GetCurrentPageHwnd(window_)) ended_ = true;
  }
}

void SheetWindow::RelayToTips(const MSG& message) {
  if (!message.hwnd) return;
  for (PageWindow& page : pages_)
    if (page.window && (message.hwnd == page.window || IsChild(page.window, message.hwnd)))
      page.tip.RelayEvent(message);
  if (message.hwnd == window_ || IsChild(window_, message.hwnd)) tip_.RelayEvent(message);
}

INT_PTR CALLBACK SheetWindow::PageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    // lParam is the platform's copy of the page's PROPSHEETPAGEW; its lParam is
    // the page's window record.
    auto* page = reinterpret_cast<PageWindow*>(reinterpret_cast<PROPSHEETPAGEW*>(lparam)->lParam);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(page));
    return page->sheet->OnPageInit(*page, window);
  }
  auto* page = reinterpret_cast<PageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!page) return FALSE;
  return page->sheet->OnPageMessage(*page, message, wparam, lparam);
}

BOOL SheetWindow::OnPageInit(PageWindow& page, HWND window) {
  page.window = window;
  // The first page is created inside PropertySheetW, before it answers the
  // sheet's window: its notifications must already reach the sheet.
  if (!window_) AttachSheet(GetParent(window));
  page.tip.Create(window);
  page.controls = std::make_unique<PageControls>(window, window_, page.tip);
  CDlgPage& logic = logic_->Page(page.index);
  logic.Attach(page.controls.get(), logic_);
  logic.OnInitDialog();
  for (const ControlDef& def : logic.Controls()) {
    if (def.kind != ControlKind::log) continue;
    if (!page.protocolFont) page.protocolFont = CreateProtocolFont(window);
    SendDlgItemMessageW(window, def.id, WM_SETFONT, reinterpret_cast<WPARAM>(page.protocolFont), TRUE);
  }
  return TRUE;
}

INT_PTR SheetWindow::OnPageMessage(PageWindow& page, UINT message, WPARAM wparam, LPARAM lparam) {
  if (window_calls::Dispatch(message, wparam, lparam)) return TRUE;
  CDlgPage& logic = logic_->Page(page.index);
  switch (message) {
    case WM_COMMAND: {
      ControlEvent event;
      // Notifications of the page's controls (lParam: the control); menus and
      // accelerators have none.
      if (lparam && ControlEventOf(HIWORD(wparam), event)) {
        logic.OnControl(LOWORD(wparam), event);
        return TRUE;
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      const auto* notice = reinterpret_cast<const NMHDR*>(lparam);
      LONG_PTR result = 0;
      switch (notice->code) {
        case PSN_SETACTIVE:
          activePage_ = page.index;
          result = logic.OnSetActive() ? 0 : -1;
          break;
        case PSN_KILLACTIVE:
          // TRUE keeps the page.
          result = logic.OnKillActive() ? FALSE : TRUE;
          break;
        case PSN_APPLY:
          result = logic.OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
          break;
        case PSN_RESET:
          logic.OnCancel();
          break;
        default:
          return FALSE;
      }
      SetWindowLongPtrW(page.window, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(page.window, DWLP_USER, 0);
      page.window = nullptr;
      // The protocol box has gone with the page.
      if (page.protocolFont) DeleteObject(page.protocolFont);
      page.protocolFont = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

LRESULT CALLBACK SheetWindow::SheetProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR, DWORD_PTR self) {
  if (window_calls::Dispatch(message, wparam, lparam)) return 0;
  LRESULT result = 0;
  if (reinterpret_cast<SheetWindow*>(self)->OnSheetMessage(message, wparam, &result))
    return result;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &SheetWindow::SheetProc, kSubclassId);
  return DefSubclassProc(window, message, wparam, lparam);
}

bool SheetWindow::OnSheetMessage(UINT message, WPARAM wparam, LRESULT* result) {
  switch (message) {
    case WM_PAGE_BUSY:
    case WM_PAGE_IDLE:
    case WM_PAGE_MODIFIED:
    case WM_PAGE_CLEAN:
      if (logic_) logic_->OnPageNotification(message);
      return true;
    case WM_COMMAND:
      // The buttons' clicks (and Enter and Escape, which the dialog handling turns
      // into IDOK and IDCANCEL); the platform never sees them.
      return (HIWORD(wparam) == BN_CLICKED || HIWORD(wparam) == 1) && OnCommand(LOWORD(wparam));
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == IDM_ABOUT) {
        ShowAboutBox(window_);
        return true;
      }
      // The close box and the system menu's Close, ignored while a device
      // operation runs.
      return (wparam & 0xFFF0) == SC_CLOSE && logic_ && !logic_->CanClose();
    case WM_CLOSE:
      if (logic_) logic_->OnClose();
      return true;
    case WM_PAINT:
      if (!IsIconic(window_)) return false;
      PaintIcon();
      return true;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(icon_);
      return true;
    case WM_SETCURSOR:
      if (!WaitCursorShown()) return false;
      RestoreProgramCursor();
      *result = TRUE;
      return true;
    default:
      return false;
  }
}

bool SheetWindow::OnCommand(int id) {
  if (!logic_) return false;
  switch (id) {
    case IDOK:
      if (!logic_->busy && IsButtonEnabled(IDOK)) logic_->OnOK();
      return true;
    case IDCANCEL:
      if (!logic_->busy && IsButtonEnabled(IDCANCEL)) logic_->OnCancel();
      return true;
    case IDC_SHEET_APPLY:
      if (!logic_->busy && IsButtonEnabled(IDC_SHEET_APPLY)) logic_->ApplyActivePage();
      return true;
    case IDHELP:
      ShowProgramHelp();
      return true;
    default:
      return false;
  }
}

void SheetWindow::PaintIcon() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (!dc) return;
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(window_, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(window_, &paint);
}

void SheetWindow::KeepFocus(HWND control, bool enable) {
  if (!enable && control && GetFocus() == control) focusBeforeBusy_ = control;
}

void SheetWindow::EnableButton(int button, bool enable) {
  HWND control = GetDlgItem(window_, button);
  if (!control) return;
  KeepFocus(control, enable);
  EnableWindow(control, enable ? TRUE : FALSE);
}

bool SheetWindow::IsButtonEnabled(int button) {
  HWND control = GetDlgItem(window_, button);
  return control && IsWindowEnabled(control);
}

void SheetWindow::EnableTabs(bool enable) {
  HWND tabs = PropSheet_GetTabControl(window_);
  if (!tabs) return;
  KeepFocus(tabs, enable);
  EnableWindow(tabs, enable ? TRUE : FALSE);
  // The tab control is the last to come back when the sheet is idle again.
  if (enable && focusBeforeBusy_) {
    if (!GetFocus() && GetActiveWindow() == window_ && IsWindowEnabled(focusBeforeBusy_))
      SetFocus(focusBeforeBusy_);
    focusBeforeBusy_ = nullptr;
  }
}

void SheetWindow::SetCursor(Cursor cursor) { SetProgramCursor(cursor); }

int SheetWindow::ShowMessage(const std::string& text, const std::string& caption, unsigned style) {
  return MessageBoxW(window_, Cp1251ToWide(text).c_str(), Cp1251ToWide(caption).c_str(), style);
}

void SheetWindow::EndSheet(int) {
  ended_ = true;
  // Wakes the loop should the call come from a nested one.
  if (window_) PostMessageW(window_, WM_NULL, 0, 0);
}
