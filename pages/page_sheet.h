// What a page asks of the sheet that holds it, beyond the notifications that go
// through its control layer.
#pragma once

#include "pages/notices.h"

class PageSheet {
 public:
  virtual ~PageSheet() = default;
  // Applies the page that is active (the Apply button's work); false when the
  // page's checks or the converter refused.
  virtual bool ApplyActivePage() = 0;
  // The link check: 0 the converter answered (the port stays open), a negative
  // value when the failure is not to be shown, a positive one when it is; 2 when
  // the RS-485 page refused its checks.
  virtual int CheckLink() = 0;
  // The sheet's window: owner of the device operations' message boxes.
  virtual WindowHandle Window() = 0;
  // The property sheet's own page-changed notice: Apply becomes enabled (while the
  // sheet is busy, once it is idle again).
  virtual void PageChanged() = 0;
};
