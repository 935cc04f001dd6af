// The start-up's window step: the configurator's main window (the property sheet
// with its four pages), run modally for the device object once the settings are
// loaded and the command line applied. The start-up saves the settings when Run
// returns, however the window was closed.
#pragma once

#include "app/command_line.h"

class ConverterDevice;

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  // Shows the window for `device` (not owned; it outlives the call) with the
  // placement the command line asked for, and returns when the user has closed it
  // with OK, Cancel or the close box. Every device operation of the run happens in
  // here, on the calling thread.
  virtual void Run(ConverterDevice& device, const CommandLineOptions& options) = 0;
};
