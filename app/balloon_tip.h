// The configurator's own tooltip: a borderless pop-up shaped like a speech balloon
// whose pointer ends at the mouse cursor, showing the text (and optionally an icon)
// registered for the control under the cursor. Its owner registers its controls
// once and passes every message of its message loop through RelayEvent first.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "app/balloon_tip_shape.h"

class CBalloonTip {
 public:
  // Timer ids: 100 shows the tip when the mouse has rested over a control, 101
  // watches for the cursor leaving the anchor while the tip is shown.
  static constexpr UINT_PTR kShowTimer = 100;
  static constexpr UINT_PTR kWatchTimer = 101;
  static constexpr UINT kDefaultDelayMs = 500;
  static constexpr UINT kWatchPeriodMs = 500;

  CBalloonTip() = default;
  // Stops the timers and destroys the window (if its owner has not already).
  ~CBalloonTip();
  CBalloonTip(const CBalloonTip&) = delete;
  CBalloonTip& operator=(const CBalloonTip&) = delete;

  // Creates the hidden pop-up, owned by owner. Texts are loaded from the string
  // table of `resources` (the program's own module when null). False when the
  // window cannot be created.
  bool Create(HWND owner, HINSTANCE resources = nullptr);
  // Registers the tip of a control: the string (an id without a string gives an
  // empty text) and an optional icon, which stays the caller's. A second call for
  // the same control replaces the first.
  void AddTip(HWND control, UINT string_id, HICON icon = nullptr);
  // The mouse filter: WM_MOUSEMOVE over a registered control (re)starts the delay;
  // moving onto anything else or pressing a mouse button hides the tip.
  void RelayEvent(const MSG& message);
  // Hides the tip and stops its timers.
  void Hide();

  // Time from the last mouse movement over a control to the tip's appearance.
  void SetDelay(UINT delay_ms) { delayMs_ = delay_ms; }
  HWND Window() const { return window_; }
  // The shape of the tip shown last (or being shown).
  const BalloonShape& Shape() const { return shape_; }

 private:
  struct Tip {
    std::wstring text;
    HICON icon = nullptr;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void SetIcon(HICON icon);
  void Show();
  void OnPaint();
  void StopTimers();

  HWND window_ = nullptr;
  HINSTANCE resources_ = nullptr;
  HFONT font_ = nullptr;
  std::map<HWND, Tip> tips_;
  std::wstring text_;
  HICON icon_ = nullptr;
  int iconWidth_ = 0;
  int iconHeight_ = 0;
  POINT anchor_{0, 0};
  HWND control_ = nullptr;  // the control whose text is being shown or awaited
  UINT delayMs_ = kDefaultDelayMs;
  BalloonShape shape_;
};
