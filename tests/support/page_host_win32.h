// A fixture for tests that make pages from their dialog templates: one visible
// top-level window owns them for the whole suite (Wine takes its time to map and
// unmap a top-level window), with the common controls the templates use
// registered first.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "tests/support/ui_support_win32.h"

class PageHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    host_ = new ui_test::TopWindow(0, 0, 700, 600);
  }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }

  // The window that owns the suite's pages.
  static HWND Host() { return host_->get(); }

 private:
  static inline ui_test::TopWindow* host_ = nullptr;
};
