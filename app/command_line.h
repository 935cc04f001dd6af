// What the configurator's command line asked for. The argument library Pargo
// parses the line (PRGO_SetArguments, called by the start-up); ApplyCommandLine
// looks up the keys the configurator knows and records the answers here, once per
// process, before the main window exists.
#pragma once

#include <string>
#include <string_view>

class ConverterSettings;

// A named event opened for the process (an opaque handle; null: none).
using EventHandle = void*;

struct CommandLineOptions {
  // Bits of `flags`.
  static constexpr unsigned kSilent = 0x0800;       // "silent"
  static constexpr unsigned kAply = 0x1000;         // "aply"
  static constexpr unsigned kClose = 0x2000;        // "close"
  static constexpr unsigned kNewNetParam = 0x4000;  // "newnetparam"
  static constexpr unsigned kFileMode = 0x8000;     // a configuration file was named
  // Values of `operation`.
  static constexpr int kOperationRead = 0;
  static constexpr int kOperationWrite = 1;
  static constexpr int kOperationNone = 2;

  CommandLineOptions() = default;
  // Closes the events: the options live as long as the process.
  ~CommandLineOptions();
  CommandLineOptions(const CommandLineOptions&) = delete;
  CommandLineOptions& operator=(const CommandLineOptions&) = delete;

  // Settings are loaded from and saved to the file named on the command line.
  bool FileMode() const { return (flags & kFileMode) != 0; }
  // The device error boxes are not shown: "silent" counts only together with a
  // configuration file.
  bool Silent() const { return (flags & (kFileMode | kSilent)) == (kFileMode | kSilent); }

  unsigned flags = 0;
  int operation = kOperationNone;
  // Window position and size values asked for; -1 where not given.
  int x = -1;
  int y = -1;
  int w = -1;
  int h = -1;
  // Opened from "exitevent" and "confirmevent" with full access; kept open and
  // otherwise unused: nothing in the configurator signals or waits on them.
  EventHandle exitEvent = nullptr;
  EventHandle confirmEvent = nullptr;
  // The configuration file, Windows-1251 text as the command line gave it.
  std::string filePath;
};

// Looks up the keys of the configurator in the arguments given to Pargo and
// records them in `options`. With a device, the link settings asked for ("port",
// "bps", "prty", "len", "sbit", "alen", "addr", "rs485"; absent or negative ones
// leave the setting) go into its working link set, never into the stored one.
// "read", "write", "newnetparam", "aply" and "close" are recorded and have no
// further effect. When one of "read", "write", "newnetparam" or "aply" is given
// without a device, "silent" and the file mode are not recorded.
void ApplyCommandLine(ConverterSettings* device, CommandLineOptions& options);

// The link settings alone, into the working link set as above. The start-up
// applies them again after a configuration file has replaced the settings: what
// the command line asks for wins over what the file holds.
void ApplyLinkSettings(ConverterSettings& device);

// The platform's side (command_line_win32.cpp, command_line_posix.cpp): the
// existing event of this name (Windows-1251) opened with full access, its handle
// not inherited by child processes; null when no such event opens.
EventHandle OpenNamedEvent(std::string_view name);
void CloseNamedEvent(EventHandle event);
