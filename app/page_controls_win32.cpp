#include "app/page_controls.h"

#include <commctrl.h>

#include <string>
#include <type_traits>

#include "app/program_cursor.h"
#include "app/window_calls.h"
#include "common/code_pages.h"

namespace {

std::wstring Wide(const std::string& text) { return Cp1251ToWide(text); }

// A window's text as program text.
std::string WindowText(HWND window) {
  if (!window) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  const int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return WideToCp1251(text);
}

}  // namespace

template <typename F>
auto PageControls::OnWindowThread(F f) -> decltype(f()) {
  using Result = decltype(f());
  if (window_calls::OnWindowThread(page_)) return f();
  if constexpr (std::is_void_v<Result>) {
    window_calls::Run(page_, f);
  } else {
    // A window that has gone answers as an empty control would.
    Result result{};
    window_calls::Run(page_, [&] { result = f(); });
    return result;
  }
}

void PageControls::ResetItems(int id) {
  OnWindowThread([&] { Send(id, CB_RESETCONTENT); });
}

int PageControls::AddItem(int id, const std::string& text, intptr_t data) {
  return OnWindowThread([&] {
    const std::wstring item = Wide(text);
    const auto index = static_cast<int>(Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
    if (index >= 0) Send(id, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data));
    return index;
  });
}

int PageControls::ItemCount(int id) {
  return OnWindowThread([&] {
    const auto count = static_cast<int>(Send(id, CB_GETCOUNT));
    return count > 0 ? count : 0;
  });
}

std::string PageControls::ItemText(int id, int index) {
  return OnWindowThread([&] {
    const auto length = static_cast<int>(Send(id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
    if (length < 0) return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto n = static_cast<int>(
        Send(id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data())));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return WideToCp1251(text);
  });
}

intptr_t PageControls::ItemData(int id, int index) {
  // CB_ERR (-1) for an index the list does not hold.
  return OnWindowThread([&] {
    return Control(id) ? static_cast<intptr_t>(Send(id, CB_GETITEMDATA, static_cast<WPARAM>(index)))
                       : intptr_t{-1};
  });
}

int PageControls::GetSelection(int id) {
  return OnWindowThread([&] { return Control(id) ? static_cast<int>(Send(id, CB_GETCURSEL)) : -1; });
}

void PageControls::SetSelection(int id, int index) {
  // -1, or an index beyond the list, leaves no item selected.
  OnWindowThread([&] { Send(id, CB_SETCURSEL, static_cast<WPARAM>(index)); });
}

int PageControls::SelectByPrefix(int id, const std::string& prefix) {
  return OnWindowThread([&] {
    const std::wstring text = Wide(prefix);
    // Searching from -1 starts at the first item; a prefix that no item has leaves
    // the selection as it was and answers CB_ERR.
    const auto index = static_cast<int>(
        Send(id, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())));
    return index >= 0 ? index : -1;
  });
}

std::string PageControls::GetText(int id) {
  return OnWindowThread([&] { return WindowText(Control(id)); });
}

void PageControls::SetText(int id, const std::string& text) {
  // An edit answers WM_SETTEXT with EN_CHANGE to the page, which reaches the page's
  // handler at once, as a change made by the user does.
  OnWindowThread([&] {
    if (HWND control = Control(id)) SetWindowTextW(control, Wide(text).c_str());
  });
}

void PageControls::SetLogText(int id, const std::string& text) {
  OnWindowThread([&] {
    HWND log = Control(id);
    if (!log) return;
    SetWindowTextW(log, Wide(text).c_str());
    const int end = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
  });
}

bool PageControls::IsEnabled(int id) {
  return OnWindowThread([&] {
    HWND control = Control(id);
    return control && IsWindowEnabled(control) != FALSE;
  });
}

void PageControls::Enable(int id, bool enable) {
  OnWindowThread([&] {
    if (HWND control = Control(id)) EnableWindow(control, enable ? TRUE : FALSE);
  });
}

void PageControls::Focus(int id) {
  OnWindowThread([&] {
    if (HWND control = Control(id)) SetFocus(control);
  });
}

void PageControls::Redraw(int id) {
  OnWindowThread([&] {
    HWND window = id ? Control(id) : page_;
    if (window)
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  });
}

void PageControls::SetSpinRange(int id, int low, int high) {
  OnWindowThread([&] { Send(id, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high)); });
}

void PageControls::SetSpinPos(int id, int pos) {
  // The control keeps the position within its range and, set to write into its
  // edit (UDS_SETBUDDYINT), puts the number there: the edit reports the change.
  OnWindowThread([&] { Send(id, UDM_SETPOS32, 0, static_cast<LPARAM>(pos)); });
}

int PageControls::GetSpinPos(int id) {
  // The control reads its edit first: a number within the range becomes the
  // position; anything else leaves the position it had (and reports an error,
  // which the pages do not need: they check the edit themselves).
  return OnWindowThread([&] {
    BOOL error = FALSE;
    return static_cast<int>(Send(id, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)));
  });
}

void PageControls::SetTooltip(int id, int string_id) {
  OnWindowThread([&] {
    if (HWND control = Control(id)) tip_.AddTip(control, static_cast<UINT>(string_id));
  });
}

int PageControls::ShowMessage(const std::string& text, const std::string& caption, unsigned style) {
  return OnWindowThread([&] {
    return MessageBoxW(page_, Wide(text).c_str(), Wide(caption).c_str(), style);
  });
}

void PageControls::Beep(unsigned style) {
  OnWindowThread([&] { MessageBeep(style); });
}

void PageControls::SetCursor(Cursor cursor) {
  OnWindowThread([&] { SetProgramCursor(cursor); });
}

void PageControls::NotifySheet(PageNotification notification) {
  OnWindowThread([&] { SendMessageW(sheet_, notification, 0, 0); });
}
