// A main window for start-up tests that acts as a user would, step by step: it
// edits the settings as a page does and applies them through the device
// operations as the sheet does (connect, the address correction shown, write, the
// stored sets refreshed only on success, failures in device error boxes), then is
// closed with OK or Cancel. It
// records what it was given, so that a test sees what the window would have shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "common/program_strings.h"
#include "device/converter_device.h"
#include "pages/device_calls.h"
#include "pages/notices.h"

class ScriptedWindow : public MainWindow {
 public:
  using Step = std::function<void(ConverterDevice&)>;

  // What the window found when it opened.
  struct Seen {
    PortSettings link, rs485, loop;
    PortSettings storedLink;
    unsigned flags = 0;
    int operation = 0;
    int x = 0, y = 0, w = 0, h = 0;
    bool silent = false;  // the device layer's silent state
  };

  void Run(ConverterDevice& device, const CommandLineOptions& options) override {
    ++runs;
    seen = {device.LinkSet(), device.Rs485Set(),
            device.LoopSet(), device.StoredLinkSet(),
            options.flags,    options.operation,
            options.x,        options.y,
            options.w,        options.h,
            SilentState()};
    for (const Step& step : steps) step(device);
  }

  // The user changes the RS-485 page (not yet written anywhere).
  static Step EditRs485(std::function<void(PortSettings&)> edit) {
    return [edit](ConverterDevice& device) { edit(device.Rs485Set()); };
  }
  static Step EditLink(std::function<void(PortSettings&)> edit) {
    return [edit](ConverterDevice& device) { edit(device.LinkSet()); };
  }

  // Apply on the RS-485 page: the converter reached with the link set, the RS-485
  // set written and put into effect; the device operation refreshes the stored
  // sets when it succeeds. `ok` receives the outcome.
  static Step ApplyRs485(bool* ok = nullptr) {
    return [ok](ConverterDevice& device) {
      bool done = Connect(device);
      if (done) {
        const Rs485WriteOutcome written = WriteRs485Settings(device, nullptr);
        if (!written) ShowDeviceError(kSheet, written.text, ProgramText(IDS_ERROR_CAPTION));
        done = static_cast<bool>(written);
      }
      device.ClosePort();
      if (ok) *ok = done;
    };
  }

  // Apply on the computer-port page: the link checked; on success it becomes the
  // stored link set.
  static Step ApplyLink(bool* ok = nullptr) {
    return [ok](ConverterDevice& device) {
      bool done = Connect(device);
      device.ClosePort();
      if (done) device.StoredLinkSet() = device.LinkSet();
      if (ok) *ok = done;
    };
  }

  inline static const WindowHandle kSheet = reinterpret_cast<WindowHandle>(0x5EE7);

  std::vector<Step> steps;  // run in order; then the window is closed
  int runs = 0;
  Seen seen;

 private:
  // A failed connection keeps the port closed and shows Connect's own text.
  static bool Connect(ConverterDevice& device) {
    const DeviceOutcome connected = device.Connect();
    if (connected) return true;
    device.ClosePort();
    ShowDeviceError(kSheet, connected.text, ProgramText(IDS_ERROR_CAPTION));
    return false;
  }
};
