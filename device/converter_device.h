// The configuration object of type "kv4t_device" complete: the converter's
// settings and the channel and codecs through which the configurator talks to the
// converter. Every device operation runs on the calling thread and blocks it for
// the exchange; one operation at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "device/notices.h"
#include "device/param_entry.h"
#include "store/converter_settings.h"

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
  // owner: the window that owns the failure box (may be null); error_text (may be
  // null) receives the failure text when !show_messages.
  bool Connect(WindowHandle owner, bool show_messages, std::string* error_text);
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
  // page: the RS-485 page, told through the notices when the address is corrected.
  bool WriteRs485Settings(WindowHandle page);
  bool WriteLoopSettings();
  // nullptr: the loop set.
  bool ReadLoopSettings(PortSettings* target);
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
