#include "store/converter_device.h"

#include "link/ravik.h"
#include "link/modbus.h"
#include "link/serio.h"
#include "store/catalogue.h"
#include "store/files.h"

namespace {

// Configuration files are a few hundred bytes; anything beyond this is not one.
constexpr size_t kMaxConfigFileBytes = 16u << 20;

const char kConfigSignature[] = "KV4TCFG1";

void SerializeSettings(Archive& ar, PortSettings& s) {
  if (ar.IsStoring()) {
    ar.WriteString(s.port);
    ar.WriteString(s.devtype);
    ar.WriteString(s.fwver);
    for (int32_t v : {s.baud, s.bytesize, s.parity, s.stopbits, s.address, s.alen, s.adaptor,
                      s.proto, s.delay})
      ar.WriteInt32(v);
    return;
  }
  ar.ReadString(s.port);
  ar.ReadString(s.devtype);
  ar.ReadString(s.fwver);
  for (int32_t* v : {&s.baud, &s.bytesize, &s.parity, &s.stopbits, &s.address, &s.alen,
                     &s.adaptor, &s.proto, &s.delay})
    *v = ar.ReadInt32();
  if (s.delay < 0) s.delay = 20;
}

// Reads one number value; absent leaves `value` alone and answers false.
bool ReadInt(const std::string& location, const char* name, int32_t& value) {
  return ReadStoredInt(location, name, value);
}

int32_t StandardBaudOr(const std::string& location, const char* name, int32_t fallback) {
  int32_t v = 0;
  return ReadInt(location, name, v) && IsStandardBaudRate(v) ? v : fallback;
}

int32_t OneOfOr(const std::string& location, const char* name, std::initializer_list<int32_t> allowed,
                int32_t fallback) {
  int32_t v = 0;
  if (!ReadInt(location, name, v)) return fallback;
  for (int32_t a : allowed)
    if (a == v) return v;
  return fallback;
}

// "alen" forced to 8 unless 8 or 11, then the address checked against it.
void CheckAddress(PortSettings& s) {
  if (s.alen != 8 && s.alen != 11) s.alen = 8;
  int32_t highest = s.alen == 11 ? 2047 : 254;
  if (s.address < 0 || s.address > highest) s.address = 16;
}

}  // namespace

ConfigObject* CreateConfigObject(const std::string& type) {
  if (type == "kv4t_device") return new ConverterDevice();
  return nullptr;
}

void DestroyConfigObject(ConfigObject* object) { delete object; }

ConverterDevice::ConverterDevice()
    : channel(std::make_unique<serio>()),
      ravik(std::make_unique<ravik_codec>()),
      modbusAscii(std::make_unique<modbus_ascii_codec>()),
      modbusRtu(std::make_unique<modbus_rtu_codec>()),
      modbusRequest(std::make_unique<modbus_request>()) {
  type = "kv4t_device";

  PortSettings& link = workingSettings[kLink];
  link.port = "COM1";
  link.baud = 9600;
  link.bytesize = 8;
  link.parity = 0;
  link.stopbits = 0;
  link.address = 16;
  link.alen = 8;
  link.adaptor = 1;
  link.proto = 0;
  link.delay = 0;
  link.changed = true;

  PortSettings& rs485 = workingSettings[kRs485];
  rs485.baud = 9600;
  rs485.bytesize = 8;
  rs485.parity = 0;
  rs485.stopbits = 0;
  rs485.address = 16;
  rs485.alen = 8;
  rs485.adaptor = 0;
  rs485.proto = 0;
  rs485.delay = 2;
  rs485.changed = true;

  PortSettings& loop = workingSettings[kLoop];
  loop.address = 0;
  loop.alen = 8;
  loop.adaptor = 0;
  loop.proto = 0;
  ResetLoopDefaults(&loop);
}

ConverterDevice::~ConverterDevice() {
  if (channel && connected) channel->close();
  connected = false;
}

void ConverterDevice::ResetPortDefaults(PortSettings* record) {
  PortSettings& s = record ? *record : workingSettings[kLink];
  s.port = "COM1";
  s.baud = 9600;
  s.bytesize = 8;
  s.parity = 0;
  s.stopbits = 0;
  s.address = 16;
  s.alen = 8;
  s.proto = 0;
  s.delay = 0;
  s.changed = true;
}

void ConverterDevice::ResetLoopDefaults(PortSettings* record) {
  PortSettings& s = record ? *record : workingSettings[kLoop];
  const DeviceDescription& entry = FirstDescription();
  s.devtype = entry.name;
  s.fwver = entry.version;
  s.baud = entry.defbaud;
  s.bytesize = entry.defbytesize;
  s.parity = entry.defparity;
  s.stopbits = entry.defstopbits;
  s.delay = PollIndexForBaud(entry, entry.defbaud);
  s.changed = true;
}

bool ConverterDevice::Load(const std::string& location) {
  if (!ConfigObject::Load(location)) return false;
  const std::string& at = location;
  int32_t v = 0;

  PortSettings& link = workingSettings[kLink];
  std::string text;
  if (ReadStoredText(at, "port", text)) link.port = text;
  link.baud = StandardBaudOr(at, "baud", 9600);
  link.bytesize = OneOfOr(at, "bytesize", {7, 8}, 8);
  ReadInt(at, "answer_timeout", v);  // the same field as "delay", which wins
  link.parity = OneOfOr(at, "parity", {0, 1, 2}, 0);
  link.stopbits = OneOfOr(at, "stopbits", {0, 2}, 0);
  link.address = ReadInt(at, "address", v) ? v : 16;
  link.alen = ReadInt(at, "alen", v) ? v : 8;
  CheckAddress(link);
  link.proto = OneOfOr(at, "proto", {0, 1, 2}, 0);
  link.adaptor = OneOfOr(at, "adaptor", {0, 1}, 0);
  link.delay = ReadInt(at, "delay", v) && v >= 0 ? v : 20;

  PortSettings& loop = workingSettings[kLoop];
  std::string devtype, fwver;
  bool haveType = ReadStoredText(at, "kv7_devtype", devtype);
  bool haveVersion = ReadStoredText(at, "kv7_fwver", fwver);
  const DeviceDescription* entry =
      haveType && haveVersion ? FindDescription(devtype, fwver) : nullptr;
  if (entry) {
    loop.devtype = devtype;
    loop.fwver = fwver;
    loop.baud = StandardBaudOr(at, "kv7_baud", entry->defbaud);
    loop.bytesize = OneOfOr(at, "kv7_bytesize", {7, 8}, entry->defbytesize);
    loop.parity = OneOfOr(at, "kv7_parity", {0, 1, 2}, entry->defparity);
    loop.stopbits = OneOfOr(at, "kv7_stopbits", {0, 2}, entry->defstopbits);
    if (!ReadInt(at, "kv7_pollfreq", v))
      loop.delay = 1;
    else
      loop.delay = v < 0 ? 3 : v;
  } else {
    ResetLoopDefaults(&loop);
  }

  PortSettings& rs485 = workingSettings[kRs485];
  rs485.baud = StandardBaudOr(at, "kv8_baud", 9600);
  rs485.bytesize = OneOfOr(at, "kv8_bytesize", {7, 8}, 8);
  rs485.parity = OneOfOr(at, "kv8_parity", {0, 1, 2}, 0);
  rs485.stopbits = OneOfOr(at, "kv8_stopbits", {0, 2}, 0);
  rs485.address = ReadInt(at, "kv8_address", v) ? v : 16;
  rs485.alen = ReadInt(at, "kv8_alen", v) ? v : 8;
  CheckAddress(rs485);
  rs485.proto = OneOfOr(at, "kv8_proto", {0, 1, 2}, 0);
  rs485.delay = ReadInt(at, "kv8_delay", v) && v >= 0 && v <= 1000 ? v : 20;

  storedSettings[kStoredLink] = workingSettings[kLink];
  storedSettings[kStoredLoop] = workingSettings[kLoop];
  storedSettings[kStoredRs485] = workingSettings[kRs485];
  return true;
}

bool ConverterDevice::Save(const std::string& location) {
  const std::string& at = location;
  const PortSettings& link = storedSettings[kStoredLink];
  const PortSettings& loop = storedSettings[kStoredLoop];
  const PortSettings& rs485 = storedSettings[kStoredRs485];
  auto number = [&at](const char* name, int32_t value) {
    WriteStoredNumber(at, name, static_cast<uint32_t>(value));
  };
  WriteStoredText(at, "port", link.port);
  number("baud", link.baud);
  number("bytesize", link.bytesize);
  number("parity", link.parity);
  number("stopbits", link.stopbits);
  number("address", link.address);
  number("alen", link.alen);
  number("adaptor", link.adaptor);
  number("delay", link.delay);
  number("proto", link.proto);
  number("answer_timeout", link.delay);
  WriteStoredText(at, "kv7_devtype", loop.devtype);
  WriteStoredText(at, "kv7_fwver", loop.fwver);
  number("kv7_baud", loop.baud);
  number("kv7_bytesize", loop.bytesize);
  number("kv7_parity", loop.parity);
  number("kv7_stopbits", loop.stopbits);
  number("kv7_pollfreq", loop.delay);
  number("kv8_baud", rs485.baud);
  number("kv8_bytesize", rs485.bytesize);
  number("kv8_parity", rs485.parity);
  number("kv8_stopbits", rs485.stopbits);
  number("kv8_address", rs485.address);
  number("kv8_alen", rs485.alen);
  number("kv8_proto", rs485.proto);
  number("kv8_delay", rs485.delay);
  return ConfigObject::Save(location);
}

bool ConverterDevice::Serialize(Archive& ar) {
  if (!ConfigObject::Serialize(ar)) return false;
  for (PortSettings& s : workingSettings) SerializeSettings(ar, s);
  return !ar.Failed();
}

int ConverterDevice::SaveConfigFile(const std::string& path) {
  Archive ar;
  ar.WriteString(kConfigSignature);
  Serialize(ar);
  const std::vector<uint8_t>& data = ar.Data();
  // The old file is replaced only by a completely written new one.
  return WriteFileReplacing(PathFromCp1251(path), data.data(), data.size()) ? kConfigFileOk
                                                                            : kConfigFileFailed;
}

int ConverterDevice::LoadConfigFile(const std::string& path) {
  std::vector<uint8_t> data;
  FileReadStatus status = ReadWholeFile(PathFromCp1251(path), true, kMaxConfigFileBytes, data);
  if (status == FileReadStatus::kMissing || status == FileReadStatus::kCannotOpen)
    return kConfigFileOk;
  if (status != FileReadStatus::kOk) return kConfigFileFailed;
  return LoadConfigData(data.data(), data.size());
}

int ConverterDevice::LoadConfigData(const uint8_t* data, size_t size) {
  Archive ar(data, size);
  std::string signature;
  if (!ar.ReadString(signature) || signature != kConfigSignature) return kConfigFileFailed;

  // A file that ends early or holds nonsense leaves the object as it was.
  struct Snapshot {
    std::string name, description;
    uint32_t lastCh, lastGr;
    int32_t ro, formatVersion;
    Guid objId;
    PortSettings sets[3];
  } before{name, description, lastCh, lastGr, ro, formatVersion, objId,
           {workingSettings[0], workingSettings[1], workingSettings[2]}};
  if (!Serialize(ar)) {
    name = before.name;
    description = before.description;
    lastCh = before.lastCh;
    lastGr = before.lastGr;
    ro = before.ro;
    formatVersion = before.formatVersion;
    objId = before.objId;
    for (int i = 0; i < 3; ++i) workingSettings[i] = before.sets[i];
    return kConfigFileFailed;
  }
  return kConfigFileOk;
}
