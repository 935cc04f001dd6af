// The configurator's run from start to exit: the serial ports listed, the
// instrument catalogue and the configuration tree loaded, the command line
// applied, the main window run, and the settings saved once when it has closed.
#pragma once

#include <memory>
#include <string_view>

#include "app/command_line.h"
#include "app/main_window.h"

class ConfigObject;
class ConverterDevice;

// Where the configuration tree is stored: HKEY_CURRENT_USER\SOFTWARE\RAVIK\KV4T-Config
// (on hosts without a registry, the same key in the file store).
inline constexpr char kConfigLocation[] = "reg::SOFTWARE\\RAVIK\\KV4T-Config";

class CCfgApp {
 public:
  explicit CCfgApp(MainWindow& window);
  virtual ~CCfgApp();
  CCfgApp(const CCfgApp&) = delete;
  CCfgApp& operator=(const CCfgApp&) = delete;

  // The whole run; `commandLine` is the text after the program name. Answers the
  // exit code, which is always 0. The settings go to the configuration file named
  // on the command line (the working sets: what the pages hold) or else to the
  // stored tree (the stored sets: what the converter accepted). When the tree
  // holds no converter object (only objects of other types), the user is told,
  // unless silent, and nothing is saved.
  int Run(std::wstring_view commandLine);

  // What the command line asked for; filled by Run.
  const CommandLineOptions& Options() const { return options_; }

 protected:
  // Makes the configuration tree's object factory create the converter object for
  // its type, before the tree is loaded.
  virtual void RegisterObjectTypes();

 private:
  ConverterDevice* FindDevice() const;

  MainWindow& window_;
  CommandLineOptions options_;
  std::unique_ptr<ConfigObject> root_;
  int exitCode_ = 0;
};
