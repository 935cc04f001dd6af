// The converter's settings as the configurator keeps them: the computer's serial
// port, the converter's RS-485 side and the instrument on the converter's current
// loop, each as a working set that the pages edit and a stored set that the
// registry save writes. This is the configuration object of type "kv4t_device"
// without the line to the converter; the device layer completes it with the
// channel and the device operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/config_object.h"
#include "settings/port_settings.h"

// Results of SaveConfigFile and LoadConfigFile.
constexpr int kConfigFileOk = 0;
constexpr int kConfigFileFailed = 200;

class ConverterSettings : public ConfigObject {
public:
  // The `type` of the object.
  static constexpr const char* kType = "kv4t_device";
  // Positions in workingSettings.
  static constexpr int kLink = 0;
  static constexpr int kRs485 = 1;
  static constexpr int kLoop = 2;
  // Positions in storedSettings (loop and RS-485 the other way round).
  static constexpr int kStoredLink = 0;
  static constexpr int kStoredLoop = 1;
  static constexpr int kStoredRs485 = 2;

  // Needs a loaded catalogue with at least one entry: the loop set takes the
  // first entry's defaults.
  ConverterSettings();

  // Reads the settings values (each missing or out-of-range one replaced by its
  // fallback) after the ConfigObject values; false only when those fail. Last,
  // the working sets are copied into the stored sets.
  bool Load(const std::string& location) override;
  // Writes the stored sets, then the ConfigObject values.
  bool Save(const std::string& location) override;
  // The ConfigObject record followed by the working link, RS-485 and loop sets.
  bool Serialize(Archive& ar) override;

  // The "KV4TCFG1" file. Save: the whole file is written to a temporary file
  // beside `path` and replaces the old file only when complete; 0, or 200 when it
  // cannot be written (the old file stays). Load: 0 when the file cannot be opened
  // (nothing changed); 200 when it is not a configuration file or ends early
  // (nothing changed); 0 when read. `path` is Windows-1251 text.
  int SaveConfigFile(const std::string& path);
  int LoadConfigFile(const std::string& path);
  // LoadConfigFile on the file's bytes: 200 or 0 as above.
  int LoadConfigData(const uint8_t* data, size_t size);

  // Link-set defaults (nullptr: the link set); `adaptor` is kept.
  void ResetPortDefaults(PortSettings* record = nullptr);
  // The first catalogue entry's instrument, version, line settings and poll value
  // (nullptr: the loop set); port, address, alen, adaptor and proto are kept.
  void ResetLoopDefaults(PortSettings* record = nullptr);

  PortSettings& LinkSet() { return workingSettings[kLink]; }
  PortSettings& Rs485Set() { return workingSettings[kRs485]; }
  PortSettings& LoopSet() { return workingSettings[kLoop]; }
  const PortSettings& LinkSet() const { return workingSettings[kLink]; }
  const PortSettings& Rs485Set() const { return workingSettings[kRs485]; }
  const PortSettings& LoopSet() const { return workingSettings[kLoop]; }
  // The stored copy of each working set, by its name: their order in
  // storedSettings is not that of workingSettings.
  PortSettings& StoredLinkSet() { return storedSettings[kStoredLink]; }
  PortSettings& StoredRs485Set() { return storedSettings[kStoredRs485]; }
  PortSettings& StoredLoopSet() { return storedSettings[kStoredLoop]; }
  const PortSettings& StoredLinkSet() const { return storedSettings[kStoredLink]; }
  const PortSettings& StoredRs485Set() const { return storedSettings[kStoredRs485]; }
  const PortSettings& StoredLoopSet() const { return storedSettings[kStoredLoop]; }

  PortSettings workingSettings[3];  // link, RS-485, loop: what pages edit and operations use
  PortSettings storedSettings[3];   // link, loop, RS-485: what the registry save writes
};
