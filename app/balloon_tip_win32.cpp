#include "app/balloon_tip.h"

namespace {

constexpr wchar_t kClassName[] = L"KV4T_BalloonTip";

bool RegisterBalloonClass(HINSTANCE instance, WNDPROC procedure) {
  // Default class style, and no cursor, brush or icon: the tip paints all of
  // itself and never takes the mouse.
  WNDCLASSW wc{};
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  // RegisterClassW answers 0 also when an earlier tip registered the class.
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

CBalloonTip::~CBalloonTip() {
  if (window_) {
    StopTimers();
    DestroyWindow(window_);
  }
}

bool CBalloonTip::Create(HWND owner, HINSTANCE resources) {
  if (window_) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  resources_ = resources ? resources : instance;
  if (!RegisterBalloonClass(instance, &CBalloonTip::WindowProc)) return false;
  // Hidden, pop-up style only: no border, no caption; owned, so it stays above its
  // owner and goes with it. WM_NCCREATE ties the window to this object.
  if (!CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr, instance, this))
    return false;
  font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  return true;
}

void CBalloonTip::AddTip(HWND control, UINT string_id, HICON icon) {
  // With a length of 0, LoadStringW hands out a pointer to the read-only text in
  // the resource itself, which is not terminated; 0 characters when there is none.
  const wchar_t* text = nullptr;
  const int n = LoadStringW(resources_ ? resources_ : GetModuleHandleW(nullptr), string_id,
                            reinterpret_cast<LPWSTR>(&text), 0);
  Tip& tip = tips_[control];
  tip.text = n > 0 ? std::wstring(text, n) : std::wstring();
  tip.icon = icon;
}

void CBalloonTip::RelayEvent(const MSG& message) {
  if (!window_) return;
  switch (message.message) {
    case WM_MOUSEMOVE: {
      POINT cursor;
      if (!GetCursorPos(&cursor)) return;
      if (cursor.x == anchor_.x && cursor.y == anchor_.y) return;
      HWND under = WindowFromPoint(cursor);
      auto it = tips_.find(under);
      if (it != tips_.end()) {
        // A tip shown for another control would go on showing that control's
        // text until the new one is due: take it away now.
        if (under != control_) Hide();
        control_ = under;
        SetIcon(it->second.icon);
        anchor_ = cursor;
        text_ = it->second.text;
        // Replaces a pending show: the tip appears once the mouse has rested.
        SetTimer(window_, kShowTimer, delayMs_, nullptr);
      } else {
        Hide();
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      Hide();
      break;
    default:
      break;
  }
}

void CBalloonTip::Hide() {
  if (!window_) return;
  StopTimers();
  if (IsWindowVisible(window_)) ShowWindow(window_, SW_HIDE);
}

void CBalloonTip::StopTimers() {
  KillTimer(window_, kShowTimer);
  KillTimer(window_, kWatchTimer);
}

void CBalloonTip::SetIcon(HICON icon) {
  icon_ = icon;
  iconWidth_ = iconHeight_ = 0;
  ICONINFO info;
  if (icon && GetIconInfo(icon, &info)) {
    // An icon's hot spot is its centre: twice it is the icon's size.
    iconWidth_ = 2 * static_cast<int>(info.xHotspot);
    iconHeight_ = 2 * static_cast<int>(info.yHotspot);
    // GetIconInfo hands out copies of the icon's bitmaps; they are ours to delete.
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
  }
  if (window_) InvalidateRect(window_, nullptr, TRUE);
}

void CBalloonTip::Show() {
  KillTimer(window_, kShowTimer);

  RECT extent{0, 0, 0, 0};
  if (HDC dc = GetDC(window_)) {
    HGDIOBJ old = SelectObject(dc, font_);
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &extent, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
  }
  shape_ = BalloonShapeFor(extent.right - extent.left, extent.bottom - extent.top, iconWidth_, iconHeight_);

  HRGN region = CreateRectRgn(0, 0, shape_.width, shape_.height);
  POINT corners[3];
  const auto pointer = shape_.Pointer();
  for (int i = 0; i < 3; ++i) corners[i] = {pointer[i].x, pointer[i].y};
  HRGN triangle = CreatePolygonRgn(corners, 3, WINDING);
  if (region && triangle) CombineRgn(region, region, triangle, RGN_OR);
  if (triangle) DeleteObject(triangle);
  // On success the window owns the region; on failure it stays ours.
  if (region && !SetWindowRgn(window_, region, TRUE)) DeleteObject(region);

  const BalloonPoint origin = BalloonWindowOrigin(shape_, {anchor_.x, anchor_.y});
  SetWindowPos(window_, HWND_TOP, origin.x, origin.y, shape_.WindowWidth(), shape_.WindowHeight(),
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(window_, nullptr, TRUE);
  SetTimer(window_, kWatchTimer, kWatchPeriodMs, nullptr);
}

void CBalloonTip::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  if (!dc) return;
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (region && GetWindowRgn(window_, region) != ERROR) {
    FillRgn(dc, region, GetSysColorBrush(COLOR_WINDOW));
    FrameRgn(dc, region, GetSysColorBrush(COLOR_WINDOWTEXT), 1, 1);
  }
  if (region) DeleteObject(region);

  RECT text_rect;
  GetClientRect(window_, &text_rect);
  text_rect.left = shape_.text_left;
  text_rect.top = shape_.text_top;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  HGDIOBJ old = SelectObject(dc, font_);
  DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &text_rect, DT_NOPREFIX);
  SelectObject(dc, old);
  if (icon_) {
    const BalloonPoint at = shape_.IconOrigin();
    DrawIconEx(dc, at.x, at.y, icon_, iconWidth_, iconHeight_, 0, nullptr, DI_NORMAL);
  }
  EndPaint(window_, &ps);
}

LRESULT CALLBACK CBalloonTip::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<CBalloonTip*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<CBalloonTip*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // Destroyed with its owner: the object may outlive the window.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return self->OnMessage(message, wparam, lparam);
}

LRESULT CBalloonTip::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (wparam == kShowTimer) {
        Show();
      } else if (wparam == kWatchTimer) {
        POINT cursor;
        if (GetCursorPos(&cursor) && (cursor.x != anchor_.x || cursor.y != anchor_.y)) Hide();
      }
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills the whole shape
    case WM_NCHITTEST:
      // The mouse goes through to the window below: the tip must never become the
      // window under the cursor, which would hide it.
      return HTTRANSPARENT;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}
