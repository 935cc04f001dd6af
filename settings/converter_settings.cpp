#include "settings/converter_settings.h"

#include <span>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/file_io.h"

namespace {

// Configuration files are a few hundred bytes; anything beyond this is not one.
constexpr size_t kMaxConfigFileBytes = 16u << 20;

const char kConfigSignature[] = "KV4TCFG1";

// A delay that is missing, negative or out of its range loads as this.
constexpr int32_t kFallbackDelay = 20;

// How a stored value is taken back on loading.
enum class Rule {
  kText,          // a text; absent: the field keeps its value
  kInstrument,    // the loop instrument's texts, read first and together
  kAddress,       // absent, or outside the range of the set's address length: the fallback
  kStandardBaud,  // a standard baud rate, else the fallback
  kOneOf,         // one of `allowed`, else the fallback
  kNotNegative,   // absent or negative: the fallback
  kUpTo1000,      // 0..1000, else the fallback
  kPoll,          // absent: the fallback; negative: 3
  kWriteOnly,     // written beside another value of the same field, never read
};

// One stored value of a settings set: its name, the field it holds, how it loads
// and what a new object holds in the field.
struct StoredValue {
  const char* name;
  std::string PortSettings::*text;   // a text's field
  int32_t PortSettings::*number;     // a number's field
  Rule rule;
  std::span<const int32_t> allowed;  // Rule::kOneOf
  int32_t initial;                   // in a new object and after ResetPortDefaults
  int32_t fallback;                  // loaded when absent or refused
  const char* initialText;
  // Loop values: the instrument's default is the fallback.
  int32_t DeviceDescription::*instrument = nullptr;
};

using P = PortSettings;
using D = DeviceDescription;

// A text value and what a new object holds in its field (nothing: left empty).
constexpr StoredValue Text(const char* name, std::string P::*field, Rule rule,
                           const char* initial = nullptr) {
  return {name, field, nullptr, rule, {}, 0, 0, initial};
}
// A number value: its field, its load rule, what a new object holds, what loads
// when it is absent or refused, and the values the rule allows.
constexpr StoredValue Number(const char* name, int32_t P::*field, Rule rule, int32_t initial,
                             int32_t fallback, std::span<const int32_t> allowed = {}) {
  return {name, nullptr, field, rule, allowed, initial, fallback, nullptr};
}

constexpr int32_t kByteSizes[] = {7, 8};
constexpr int32_t kParities[] = {0, 1, 2};
constexpr int32_t kStopBits[] = {0, 2};  // one and a half (1) is not taken
constexpr int32_t kAddressLengths[] = {8, 11};
constexpr int32_t kAdaptors[] = {0, 1};
constexpr int32_t kProtocols[] = {0, 1, 2};

// The line settings and the address, stored alike by the sets that store them,
// each under names of its own (none: not stored in that set). `value` is what a new
// object holds and what loads when a value is absent or refused, except in the
// loop set, which falls back to its instrument's defaults.
struct LineValue {
  const char* link;
  const char* loop;
  const char* rs485;
  int32_t P::*field;
  Rule rule;
  int32_t value;
  std::span<const int32_t> allowed;
  int32_t D::*instrument;
};

constexpr LineValue kLineValues[] = {
    {"baud", "kv7_baud", "kv8_baud", &P::baud, Rule::kStandardBaud, 9600, {}, &D::defbaud},
    {"bytesize", "kv7_bytesize", "kv8_bytesize", &P::bytesize, Rule::kOneOf, 8, kByteSizes,
     &D::defbytesize},
    {"parity", "kv7_parity", "kv8_parity", &P::parity, Rule::kOneOf, 0, kParities,
     &D::defparity},
    {"stopbits", "kv7_stopbits", "kv8_stopbits", &P::stopbits, Rule::kOneOf, 0, kStopBits,
     &D::defstopbits},
    {"address", nullptr, "kv8_address", &P::address, Rule::kAddress, 16, {}, nullptr},
    {"alen", nullptr, "kv8_alen", &P::alen, Rule::kOneOf, 8, kAddressLengths, nullptr},
};

// A set's values in the order they are saved: its own first values, the line
// values under its names, its own last values. The sets themselves are saved and
// loaded in the order link, loop, RS-485.
struct StoredSet {
  std::span<const StoredValue> first;
  const char* LineValue::*lineName;
  std::span<const StoredValue> last;
};

constexpr StoredValue kLinkFirst[] = {
    Text("port", &P::port, Rule::kText, "COM1"),
};
constexpr StoredValue kLinkLast[] = {
    Number("adaptor", &P::adaptor, Rule::kOneOf, 1, 0, kAdaptors),
    Number("delay", &P::delay, Rule::kNotNegative, 0, kFallbackDelay),
    Number("proto", &P::proto, Rule::kOneOf, 0, 0, kProtocols),
    // The same field as "delay", which is the one read back.
    Number("answer_timeout", &P::delay, Rule::kWriteOnly, 0, 0),
};
constexpr StoredSet kLinkSet = {kLinkFirst, &LineValue::link, kLinkLast};

// The loop's numbers are read only when the two texts name a catalogue entry, the
// instrument whose defaults they fall back to; otherwise the loop set starts over
// from the first catalogue entry, as a new object's does (ResetLoopDefaults).
constexpr StoredValue kLoopFirst[] = {
    Text("kv7_devtype", &P::devtype, Rule::kInstrument),
    Text("kv7_fwver", &P::fwver, Rule::kInstrument),
};
constexpr StoredValue kLoopLast[] = {
    // New: the lowest poll value at the instrument's default baud rate.
    Number("kv7_pollfreq", &P::delay, Rule::kPoll, 0, 1),
};
constexpr StoredSet kLoopSet = {kLoopFirst, &LineValue::loop, kLoopLast};

constexpr StoredValue kRs485Last[] = {
    Number("kv8_proto", &P::proto, Rule::kOneOf, 0, 0, kProtocols),
    Number("kv8_delay", &P::delay, Rule::kUpTo1000, 2, kFallbackDelay),
};
constexpr StoredSet kRs485Set = {{}, &LineValue::rs485, kRs485Last};

// Calls f for every value of the set, in the order they are saved.
template <typename F>
void ForEachValue(const StoredSet& set, F f) {
  for (const StoredValue& v : set.first) f(v);
  const bool loop = set.lineName == &LineValue::loop;
  for (const LineValue& l : kLineValues) {
    if (const char* name = l.*set.lineName)
      f(StoredValue{name, nullptr, l.field, l.rule, l.allowed, l.value, l.value, nullptr,
                    loop ? l.instrument : nullptr});
  }
  for (const StoredValue& v : set.last) f(v);
}

// The values a new object holds in the link or RS-485 set.
void SetInitialValues(const StoredSet& set, PortSettings& s) {
  ForEachValue(set, [&s](const StoredValue& v) {
    if (v.rule == Rule::kWriteOnly) return;
    if (v.text) {
      if (v.initialText) s.*v.text = v.initialText;
    } else {
      s.*v.number = v.initial;
    }
  });
}

// The addresses a stored set may hold: 0..254 with 8 bits, 0..2047 with 11.
bool InAddressRange(int32_t address, int32_t alen) {
  return address >= 0 && address <= (alen == 11 ? 2047 : 254);
}

// One stored number after its load rule; `instrument` gives the loop values'
// fallbacks.
int32_t LoadedNumber(const std::string& location, const StoredValue& v,
                     const DeviceDescription* instrument) {
  const int32_t fallback = v.instrument ? instrument->*v.instrument : v.fallback;
  int32_t n = 0;
  if (!ReadStoredInt(location, v.name, n)) return fallback;
  switch (v.rule) {
    case Rule::kStandardBaud:
      return IsStandardBaudRate(n) ? n : fallback;
    case Rule::kOneOf:
      for (int32_t a : v.allowed)
        if (a == n) return n;
      return fallback;
    case Rule::kNotNegative:
      return n >= 0 ? n : fallback;
    case Rule::kUpTo1000:
      return n >= 0 && n <= 1000 ? n : fallback;
    case Rule::kPoll:
      return n < 0 ? 3 : n;
    default:
      return n;
  }
}

void LoadValues(const std::string& location, const StoredSet& set, PortSettings& s,
                const DeviceDescription* instrument = nullptr) {
  ForEachValue(set, [&](const StoredValue& v) {
    if (v.rule == Rule::kWriteOnly || v.rule == Rule::kInstrument) return;
    if (v.text) {
      std::string text;
      if (ReadStoredText(location, v.name, text)) s.*v.text = text;
    } else {
      s.*v.number = LoadedNumber(location, v, instrument);
    }
  });
  // An address is checked once its set's address length is loaded.
  ForEachValue(set, [&s](const StoredValue& v) {
    if (v.rule == Rule::kAddress && !InAddressRange(s.*v.number, s.alen))
      s.*v.number = v.fallback;
  });
}

void SaveValues(const std::string& location, const StoredSet& set, const PortSettings& s) {
  ForEachValue(set, [&](const StoredValue& v) {
    if (v.text)
      WriteStoredText(location, v.name, s.*v.text);
    else
      WriteStoredNumber(location, v.name, static_cast<uint32_t>(s.*v.number));
  });
}

// The catalogue entry the stored instrument texts name, read into `s`; nullptr
// unless both are stored and name an entry.
const DeviceDescription* StoredInstrument(const std::string& location, PortSettings& s) {
  bool stored = true;
  for (const StoredValue& v : kLoopFirst) {
    if (v.rule == Rule::kInstrument && !ReadStoredText(location, v.name, s.*v.text))
      stored = false;
  }
  return stored ? FindDescription(s.devtype, s.fwver) : nullptr;
}

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
  if (s.delay < 0) s.delay = kFallbackDelay;
}

}  // namespace

ConverterSettings::ConverterSettings() {
  type = kType;
  PortSettings& link = workingSettings[kLink];
  SetInitialValues(kLinkSet, link);
  link.changed = true;
  PortSettings& rs485 = workingSettings[kRs485];
  SetInitialValues(kRs485Set, rs485);
  rs485.changed = true;
  ResetLoopDefaults(&workingSettings[kLoop]);
}

void ConverterSettings::ResetPortDefaults(PortSettings* record) {
  PortSettings& s = record ? *record : workingSettings[kLink];
  // The adaptor is the hardware at the computer's port, not a line setting.
  const int32_t adaptor = s.adaptor;
  SetInitialValues(kLinkSet, s);
  s.adaptor = adaptor;
  s.changed = true;
}

void ConverterSettings::ResetLoopDefaults(PortSettings* record) {
  PortSettings& s = record ? *record : workingSettings[kLoop];
  const DeviceDescription& entry = FirstDescription();
  s.devtype = entry.name;
  s.fwver = entry.version;
  for (const LineValue& l : kLineValues)
    if (l.loop) s.*l.field = entry.*l.instrument;
  s.delay = PollIndexForBaud(entry, entry.defbaud);
  s.changed = true;
}

bool ConverterSettings::Load(const std::string& location) {
  if (!ConfigObject::Load(location)) return false;

  LoadValues(location, kLinkSet, workingSettings[kLink]);
  PortSettings& loop = workingSettings[kLoop];
  PortSettings read = loop;
  if (const DeviceDescription* instrument = StoredInstrument(location, read)) {
    LoadValues(location, kLoopSet, read, instrument);
    loop = read;
  } else {
    ResetLoopDefaults(&loop);
  }
  LoadValues(location, kRs485Set, workingSettings[kRs485]);

  StoredLinkSet() = LinkSet();
  StoredLoopSet() = LoopSet();
  StoredRs485Set() = Rs485Set();
  return true;
}

bool ConverterSettings::Save(const std::string& location) {
  SaveValues(location, kLinkSet, StoredLinkSet());
  SaveValues(location, kLoopSet, StoredLoopSet());
  SaveValues(location, kRs485Set, StoredRs485Set());
  return ConfigObject::Save(location);
}

bool ConverterSettings::Serialize(Archive& ar) {
  if (!ConfigObject::Serialize(ar)) return false;
  for (PortSettings& s : workingSettings) SerializeSettings(ar, s);
  return !ar.Failed();
}

int ConverterSettings::SaveConfigFile(const std::string& path) {
  Archive ar;
  ar.WriteString(kConfigSignature);
  Serialize(ar);
  const std::vector<uint8_t>& data = ar.Data();
  // The old file is replaced only by a completely written new one.
  return WriteFileReplacing(PathFromCp1251(path), data.data(), data.size()) ? kConfigFileOk
                                                                            : kConfigFileFailed;
}

int ConverterSettings::LoadConfigFile(const std::string& path) {
  std::vector<uint8_t> data;
  FileReadStatus status = ReadWholeFile(PathFromCp1251(path), true, kMaxConfigFileBytes, data);
  if (status == FileReadStatus::kMissing || status == FileReadStatus::kCannotOpen)
    return kConfigFileOk;
  if (status != FileReadStatus::kOk) return kConfigFileFailed;
  return LoadConfigData(data.data(), data.size());
}

int ConverterSettings::LoadConfigData(const uint8_t* data, size_t size) {
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
