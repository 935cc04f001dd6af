// The configuration object of type "kv4t_device" complete: the converter's
// settings and the channel and codecs through which the configurator talks to the
// converter. Every device operation runs on the calling thread and blocks it for
// the exchange; one operation at a time. The operations show nothing: those that
// can fail for a reason the user must read hand back an outcome with the text to
// show, and the window or the console tool shows it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "device/param_entry.h"
#include "settings/converter_settings.h"

// What an operation came to.
enum class DeviceResult {
  kDone,
  kPortUnusable,  // Connect: the port could not be opened
  kNoAnswer,      // Connect: "dev" unanswered, also after the Modbus wake-up
  kNotKV4T,       // Connect: another device answered
  kWriteFailed,   // a parameter, or "APLY", could not be written
  kReadFailed,    // the loop instrument's settings could not be read
};

// The outcome, and on failure the text the user reads (program text, from the
// string table: 125 with the port's name, 127, 128, 129, 131 or 132); empty when
// done. True when done.
struct DeviceOutcome {
  DeviceResult result = DeviceResult::kDone;
  std::string text;
  explicit operator bool() const { return result == DeviceResult::kDone; }
};

// The RS-485 write also tells the address the converter was given.
struct Rs485WriteOutcome : DeviceOutcome {
  // "addr" as written: the RS-485 set's address after the converter's range
  // correction (settings_rules::Rule::kConverterAddressCorrection), which the set
  // then holds.
  int32_t address = 0;
  // The set's address was out of that range and has been replaced.
  bool corrected = false;
};

// Quiet time the converter gets between the end of an answer and the next request.
inline constexpr int kTurnaroundUs = 10000;
// A converter set to Modbus acknowledges this coil and then answers RAVIK again.
inline constexpr uint16_t kWakeCoil = 0xF0F0;

class serio;
class ravik_codec;
class modbus_ascii_codec;
class modbus_rtu_codec;
class modbus_request;

class ConverterDevice : public ConverterSettings {
 public:
  // Needs a loaded catalogue with at least one entry (see ConverterSettings).
  ConverterDevice();
  ~ConverterDevice() override;

  bool OpenPort();
  bool ClosePort();
  // Opens the port, identifies the converter and checks that it is a KV4T; the
  // port stays open when it is, and is closed otherwise.
  DeviceOutcome Connect();
  bool Identify();
  bool IsKS4T() const;
  bool ReadIntParam(std::string_view name, int32_t& value);
  bool ReadTextParam(std::string_view name, std::string& value);
  bool WriteIntParam(std::string_view name, int32_t value);
  bool WriteTextParam(std::string_view name, const std::string& value);
  bool SendApply();
  // -1 for a value or code not in the table, or a table outside 0..6.
  static int32_t TranslateCode(bool to_converter, int table, int32_t value);
  // Every row up to the one with the empty name is tried; true when none failed.
  bool ExchangeParams(const ParamEntry* list, bool write);
  // The RS-485 set into the converter, then "APLY"; on success the link set and the
  // stored sets follow it.
  Rs485WriteOutcome WriteRs485Settings();
  DeviceOutcome WriteLoopSettings();
  // nullptr: the loop set.
  DeviceOutcome ReadLoopSettings(PortSettings* target);
  bool SetConverterProtocol(bool ascii);
  bool RestoreConverterProtocol(bool skip_wake);
  bool ModbusWriteCoil(bool ascii, int coil, int on);
  bool ModbusReadRegister(bool ascii, int reg, int& value, int* exception);

  bool connected = false;          // the port is open (between OpenPort and ClosePort)
  std::unique_ptr<serio> channel;  // created with the object
  int32_t state = -1;
  std::unique_ptr<ravik_codec> ravik;
  std::unique_ptr<modbus_ascii_codec> modbusAscii;
  std::unique_ptr<modbus_rtu_codec> modbusRtu;
  std::unique_ptr<modbus_request> modbusRequest;
};

// Makes the configuration tree's object factory create a ConverterDevice for the
// type "kv4t_device" (and nothing for any other type). Start-up calls it before the
// tree is loaded, right after the catalogue.
void RegisterConverterDeviceFactory();
