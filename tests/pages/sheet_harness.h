// The main window without a window system: a device, the sheet's logic over a
// recorded host, and a recorded control layer for each page wired to the sheet as
// the window would wire it. A test opens the window, switches tabs, presses the
// sheet's buttons and acts on a page's controls as the user does.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "device/converter_device.h"
#include "pages/cfg_sheet.h"
#include "tests/pages/recording_ui.h"

// A port that no computer of the tests has: opening it fails at once.
inline constexpr const char* kMissingPort = "COM250";

// A control and what it holds for the user: the item selected in a list ("" with
// none), or the text of an edit (UTF-8).
struct Shown {
  int id;
  std::string value;
  friend bool operator==(const Shown&, const Shown&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Shown& shown) {
    return out << shown.id << "=\"" << shown.value << "\"";
  }
};

// A message box as the user saw it: text, caption (UTF-8), style, and who owned it
// ("page 103", "sheet").
struct Box {
  std::string text;
  std::string caption;
  unsigned style;
  std::string who;
  friend bool operator==(const Box&, const Box&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << box.who << " [" << box.caption << "] \"" << box.text << "\" style " << box.style;
  }
};

// `record` with the line settings and the address that the pages edit.
PortSettings WithLine(PortSettings record, int32_t baud, int32_t bytesize, int32_t parity,
                      int32_t stopbits, int32_t address, int32_t alen);

// The user sets each control in turn: chooses the item with that text, or types
// the text into the edit. False at the first control that refuses.
bool Enter(RecordingControls& page, const std::vector<Shown>& values);
// What the controls named in `like` show now, in the same order.
std::vector<Shown> Showing(RecordingControls& page, const std::vector<Shown>& like);

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
  std::vector<Box> Boxes();
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
