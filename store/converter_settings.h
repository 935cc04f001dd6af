// The configuration object of type "kv4t_device": every setting the configurator
// works with — the computer's serial port, the converter's RS-485 side and the
// instrument on the converter's current loop — and the channel and codecs through
// which it talks to the converter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/config_object.h"
#include "store/port_settings.h"

class serio;
class ravik_codec;
class modbus_ascii_codec;
class modbus_rtu_codec;
class modbus_request;

// Results of SaveConfigFile and LoadConfigFile.
constexpr int kConfigFileOk = 0;
constexpr int kConfigFileFailed = 200;

class ConverterDevice : public ConfigObject {
public:
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
  ConverterDevice();
  ~ConverterDevice() override;

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

  // ---- members, in this order ----
  bool connected = false;           // the port is open (between OpenPort and ClosePort)
  std::unique_ptr<serio> channel;   // created with the object
  PortSettings workingSettings[3];  // link, RS-485, loop: what pages edit and operations use
  PortSettings storedSettings[3];   // link, loop, RS-485: what the registry save writes
  int32_t state = -1;
  std::unique_ptr<ravik_codec> ravik;
  std::unique_ptr<modbus_ascii_codec> modbusAscii;
  std::unique_ptr<modbus_rtu_codec> modbusRtu;
  std::unique_ptr<modbus_request> modbusRequest;

  // ======================================================================
  // Device operations: talking to the converter. Implemented in device/.
  // All run on the calling thread and block it for the exchange.
  // ======================================================================

  // One row of a parameter list; a list ends with a row whose name is empty.
  struct ParamEntry {
    const char* name;  // RAVIK parameter name ("" ends the list)
    int kind;          // 0 raw integer, 1 coded integer, 2 text
    int table;         // code table 0..6 for the coded kind
    void* target;      // int32_t* for raw and coded rows, std::string* for text rows
  };
  enum ParamKind { kRaw = 0, kCoded = 1, kText = 2 };

  bool OpenPort();
  bool ClosePort();
  // owner: an opaque window handle for message boxes (may be null);
  // error_text (may be null) receives the failure text when !show_messages.
  bool Connect(void* owner, bool show_messages, std::string* error_text);
  bool Identify();
  bool IsKS4T() const;
  bool ReadIntParam(const char* name, int32_t& value);
  bool ReadTextParam(const char* name, std::string& value);
  bool WriteIntParam(const char* name, int32_t value);
  bool WriteTextParam(const char* name, const std::string& value);
  bool SendApply();
  // -1 for a value or code not in the table, or a table outside 0..6.
  static int32_t TranslateCode(bool to_converter, int table, int32_t value);
  bool ExchangeParams(const ParamEntry* list, bool write);
  // page: the RS-485 page (opaque) whose address and delay fields the address
  // correction touches.
  bool WriteRs485Settings(void* page);
  bool WriteLoopSettings();
  bool ReadLoopSettings(PortSettings* target);
  bool SetConverterProtocol(bool ascii);
  bool RestoreConverterProtocol(bool skip_wake);
  bool ModbusWriteCoil(bool ascii, int coil, int on);
  bool ModbusReadRegister(bool ascii, int reg, int& value, int* exception);
  // ======================================================================
};

// The object factory of the configurator: a ConverterDevice for "kv4t_device",
// nothing for any other type; destroy deletes the object.
ConfigObject* CreateConfigObject(const std::string& type);
void DestroyConfigObject(ConfigObject* object);
