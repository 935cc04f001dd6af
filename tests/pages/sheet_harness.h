// The main window without a window system: a device, the sheet's logic over a
// recorded host, and a recorded control layer for each page wired to the sheet as
// the window would wire it. A test opens the window, switches tabs, presses the
// sheet's buttons and acts on a page's controls as the user does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/converter_device.h"
#include "pages/cfg_sheet.h"
#include "tests/pages/recording_ui.h"

// A port that no computer of the tests has: opening it fails at once.
inline constexpr const char* kMissingPort = "COM250";

class SheetHarness {
 public:
  // The settings page lists `ports` as the computer's serial ports.
  explicit SheetHarness(std::vector<int> ports);
  ~SheetHarness();

  // The window appears as the platform makes it: the first page is created and
  // activated, then the sheet's own initialisation runs.
  void Open();
  // A page's window: created on first use.
  RecordingControls& Page(int index);
  RecordingControls& Settings() { return Page(CCfgSheet::kSettingsPage); }
  RecordingControls& Rs485() { return Page(CCfgSheet::kRs485Page); }
  // The user picks another tab: the active page is left (false, staying, when it
  // refuses), then the new one is created when needed and activated.
  bool SwitchTo(int index);
  // The sheet's buttons, as the user presses them (false when disabled).
  bool PressApply();
  bool PressOk();

  // Boxes shown since the last Clear, from whoever showed them.
  std::vector<UiEvent> Boxes() { return ui.Boxes(); }
  // Notifications the pages sent since the last Clear.
  std::vector<int> Notifications();

  RecordingUi ui;

 private:
  // The catalogue must hold an entry before the device is made.
  struct CatalogueReady {
    CatalogueReady();
  } catalogue_;

 public:
  ConverterDevice device;
  RecordingSheetHost host{ui};
  CCfgSheet sheet{&device};

 private:
  std::unique_ptr<RecordingControls> pages_[CCfgSheet::kPageCount];
};
