#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "catalogue/catalogue_files.h"
#include "catalogue/xml.h"
#include "common/code_pages.h"
#include "common/file_io.h"

namespace {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

inline bool IsWhite(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsWhite(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsWhite(s.back())) s.remove_suffix(1);
  return s;
}

int DigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'z') return c - L'a' + 10;
  if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
  return 99;
}

// A number as the description files write it: unsigned, with automatic base (0x
// hexadecimal, a leading 0 octal, else decimal), read as far as it goes; text that
// is not a number gives 0. Leading white space and a sign are accepted, and a value
// beyond 32 bits gives 0xFFFFFFFF, the same on every platform.
int32_t ReadNumber(std::wstring_view s) {
  size_t i = 0;
  while (i < s.size() && IsWhite(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
  unsigned base = 10;
  if (i < s.size() && s[i] == L'0') {
    if (i + 2 < s.size() && (s[i + 1] == L'x' || s[i + 1] == L'X') && DigitValue(s[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  uint64_t value = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    const int d = DigitValue(s[i]);
    if (d >= static_cast<int>(base)) break;
    value = value * base + static_cast<unsigned>(d);
    if (value > 0xFFFFFFFFu) {
      overflow = true;
      value = 0xFFFFFFFFu;
    }
  }
  auto result = static_cast<uint32_t>(value);
  if (negative && !overflow) result = 0u - result;
  return static_cast<int32_t>(result);
}

// A list of numbers separated by ","; an item whose value is 0 counts only when its
// text begins with the digit 0, so empty and non-numeric items drop out.
std::vector<int32_t> ReadList(std::wstring_view s) {
  std::vector<int32_t> list;
  size_t start = 0;
  for (;;) {
    const size_t comma = s.find(L',', start);
    const std::wstring_view item =
        Trim(s.substr(start, comma == std::wstring_view::npos ? std::wstring_view::npos : comma - start));
    const int32_t v = ReadNumber(item);
    if (v != 0 || (!item.empty() && item.front() == L'0')) list.push_back(v);
    if (comma == std::wstring_view::npos) break;
    start = comma + 1;
  }
  return list;
}

struct SettingDefault {
  const wchar_t* attribute;
  const wchar_t* value;
};

// The nine setting attributes and their built-in defaults.
constexpr SettingDefault kSettings[] = {
    {L"validbauds", L"9600"}, {L"flags", L"0"},   {L"defbaud", L"9600"},
    {L"defbytesize", L"8"},   {L"defparity", L"0"}, {L"defstopbits", L"1"},
    {L"pollmin", L"1"},       {L"pollmax", L"1000"}, {L"minpolls", L"1"},
};

enum SettingIndex { kValidBauds, kFlags, kDefBaud, kDefByteSize, kDefParity, kDefStopBits, kPollMin, kPollMax, kMinPolls };
constexpr size_t kSettingCount = sizeof kSettings / sizeof kSettings[0];

// The nine settings of a device element, looked up once for all its versions: a
// device with a great many attributes and versions must not cost their product.
struct DeviceSettings {
  const std::wstring* values[kSettingCount];
  explicit DeviceSettings(const XmlNode& device) {
    for (size_t i = 0; i < kSettingCount; ++i) values[i] = AttrValue(device, kSettings[i].attribute);
  }
};

// A setting from the version element, else from its device, else the built-in
// default; the first attribute of the name counts, without surrounding white space.
std::wstring_view Setting(const XmlNode& version, const DeviceSettings& device, size_t index) {
  const SettingDefault& s = kSettings[index];
  if (const std::wstring* v = AttrValue(version, s.attribute)) return Trim(*v);
  if (const std::wstring* v = device.values[index]) return Trim(*v);
  return s.value;
}

// How the texts of one file become Windows-1251.
struct FileTexts {
  // true when the wide text already holds the real characters (a file with a byte
  // order mark); otherwise each character is one byte of the file read as
  // Windows-1251, to be decoded by the declared encoding.
  bool unicode = false;
  TextEncoding encoding = TextEncoding::None;

  std::string ToCp1251(const std::wstring& text) const {
    if (unicode) return WideToCp1251(text);
    return DecodeToCp1251(WideToCp1251(text), encoding);
  }
};

std::string PairKey(std::string_view name, std::string_view version) {
  std::string key = std::to_string(name.size());
  key += ':';
  key += name;
  key += version;
  return key;
}

// The file's bytes as wide text, ending at the first zero.
std::wstring FileToWide(std::string_view bytes, FileTexts& texts, std::wstring&& buffer) {
  if (bytes.starts_with(utf8_bom)) {
    texts.unicode = true;
    bytes.remove_prefix(utf8_bom.size());
    bytes = bytes.substr(0, bytes.find('\0'));
    return Utf8ToWide(bytes);
  }
  if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
    texts.unicode = true;
    const bool little = bytes[0] == '\xFF';
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
      const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
      const auto u = static_cast<char16_t>(lo | (hi << 8));
      if (u == 0) break;
      units += u;
    }
    return Utf16ToWide(units);
  }
  bytes = bytes.substr(0, bytes.find('\0'));
  buffer.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i)
    buffer[i] = static_cast<wchar_t>(ByteToChar(static_cast<unsigned char>(bytes[i]), TextEncoding::Cp1251));
  return std::move(buffer);
}

}  // namespace

DeviceDescription BuiltInDescription() {
  DeviceDescription d;
  d.name = "ZR-40";
  d.version = "ZR40A12";
  d.description = "ZR-40 (ZR40A12.HEX)";
  d.validbauds = {9600};
  d.pollmax = 1000;
  d.pollmin = 1;
  d.defbaud = 9600;
  d.defbytesize = 8;
  d.defparity = 0;
  d.defstopbits = 2;
  d.flags = 0;
  return d;
}

void InstrumentCatalogue::LoadText(std::string_view bytes) {
  FileTexts texts;
  // The wide text of the file before is reused: most files are alike in size.
  std::wstring text = FileToWide(bytes, texts, std::move(scratch_));
  auto& index = index_;

  XmlNode node;
  XmlParseInfo info;
  info.trimValues = true;
  info.decodeEntities = true;
  info.entities = &DefaultEntityTable();

  const wchar_t* pos = text.data();
  const wchar_t* const end = pos + text.size();
  bool first = true;
  std::wstring value;
  while (pos != end) {
    const wchar_t* next = ParseElement(node, pos, end, info, first);
    // No element left, or one that did not parse: the rest of the file is unusable.
    if (!next || info.errorOccurred) break;
    if (next == pos || (end - next >= 2 && next[0] == L'<' && next[1] == L'/')) {
      // A closing tag with no element open: step over it rather than meeting it
      // again forever.
      pos = next + 2;
      if (pos > end) pos = end;
      continue;
    }
    pos = next;

    if (first && node.name == L"xml") {
      if (!texts.unicode && AttrValueTrimmed(node, L"encoding", value)) texts.encoding = TextEncodingFromName(value);
    }
    first = false;
    if (!EqualsNoCase(node.name, L"KV4T")) continue;

    for (const auto& device : node.children) {
      if (!EqualsNoCase(device->name, L"device")) continue;
      std::wstring deviceName, deviceDescription;
      if (!AttrValueTrimmed(*device, L"name", deviceName) ||
          !AttrValueTrimmed(*device, L"description", deviceDescription))
        continue;
      const std::string name = texts.ToCp1251(deviceName);
      const DeviceSettings deviceSettings(*device);
      for (const auto& version : device->children) {
        if (!EqualsNoCase(version->name, L"version")) continue;
        std::wstring versionName, versionDescription;
        if (!AttrValueTrimmed(*version, L"name", versionName) ||
            !AttrValueTrimmed(*version, L"description", versionDescription))
          continue;
        std::string versionText = texts.ToCp1251(versionName);
        const std::string key = PairKey(name, versionText);
        if (index.count(key)) continue;  // the first description of a pair wins

        auto entry = std::make_unique<DeviceDescription>();
        DeviceDescription& d = *entry;
        d.name = name;
        d.version = std::move(versionText);
        d.description = texts.ToCp1251(versionDescription);

        d.validbauds = ReadList(Setting(*version, deviceSettings, kValidBauds));
        d.defbaud = ReadNumber(Setting(*version, deviceSettings, kDefBaud));
        if (!d.validbauds.empty()) {
          if (d.defbaud == 0) d.defbaud = d.validbauds.front();
        } else {
          if (d.defbaud == 0) d.defbaud = 9600;
          d.validbauds.push_back(d.defbaud);
        }
        d.defbytesize = ReadNumber(Setting(*version, deviceSettings, kDefByteSize));
        if (d.defbytesize != 7 && d.defbytesize != 8) d.defbytesize = 8;
        d.defparity = ReadNumber(Setting(*version, deviceSettings, kDefParity));
        if (d.defparity < 0 || d.defparity > 2) d.defparity = 0;
        d.defstopbits = ReadNumber(Setting(*version, deviceSettings, kDefStopBits)) == 2 ? 2 : 0;
        d.flags = ReadNumber(Setting(*version, deviceSettings, kFlags));

        d.pollmax = ReadNumber(Setting(*version, deviceSettings, kPollMax));
        d.pollmin = ReadNumber(Setting(*version, deviceSettings, kPollMin));
        if (!(d.pollmin >= 1 && d.pollmax >= 1 && d.pollmin < d.pollmax)) {
          d.pollmax = 1000;
          d.pollmin = 1;
        }

        d.minpolls = ReadList(Setting(*version, deviceSettings, kMinPolls));
        if (d.minpolls.empty()) {
          d.minpolls.assign(d.validbauds.size(), d.pollmin);
        } else if (d.minpolls.size() < d.validbauds.size()) {
          d.minpolls.resize(d.validbauds.size(), d.minpolls.back());
        }

        index.emplace(key, entry.get());
        entries_.push_back(std::move(entry));
      }
    }
  }
  scratch_ = std::move(text);
}

void InstrumentCatalogue::LoadFolder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files = ListDescriptionFiles(folder);
  // Name order, so that which of two descriptions of one instrument wins does not
  // depend on the file system: ASCII letters compared without regard to case, as
  // the Windows listing of an NTFS folder orders them.
  auto key = [](const std::filesystem::path& p) {
    std::u32string k;
    const auto name = p.filename().native();
    k.reserve(name.size());
    for (auto c : name) {
      auto u = static_cast<char32_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
      if (u >= U'A' && u <= U'Z') u += 32;
      k += u;
    }
    return k;
  };
  std::vector<std::pair<std::u32string, std::filesystem::path>> sorted;
  sorted.reserve(files.size());
  for (auto& f : files) sorted.emplace_back(key(f), std::move(f));
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.native() < b.second.native();
  });

  std::vector<uint8_t> bytes;
  for (const auto& [k, file] : sorted) {
    if (ReadWholeFile(file, false, kMaxDescriptionFileBytes, bytes) != FileReadStatus::kOk)
      continue;
    LoadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  scratch_ = std::wstring();
}

void InstrumentCatalogue::AddBuiltInWhenEmpty() {
  if (!entries_.empty()) return;
  auto entry = std::make_unique<DeviceDescription>(BuiltInDescription());
  index_.emplace(PairKey(entry->name, entry->version), entry.get());
  entries_.push_back(std::move(entry));
}

const DeviceDescription* InstrumentCatalogue::Find(std::string_view name, std::string_view version) const {
  const auto found = index_.find(PairKey(name, version));
  return found == index_.end() ? nullptr : found->second;
}

void InstrumentCatalogue::Clear() {
  for (auto& entry : entries_) entry.reset();
  entries_.clear();
  index_.clear();
}

InstrumentCatalogue& Catalogue() {
  static InstrumentCatalogue catalogue;
  return catalogue;
}

const DeviceDescription* FindDescription(std::string_view name, std::string_view version) {
  return Catalogue().Find(name, version);
}

bool HasDescription(std::string_view name, std::string_view version) {
  return FindDescription(name, version) != nullptr;
}

const DeviceDescription& FirstDescription() {
  static const DeviceDescription builtIn = BuiltInDescription();
  const auto& entries = Catalogue().entries();
  return entries.empty() ? builtIn : *entries.front();
}

bool DescriptionDefaults(std::string_view name, std::string_view version, int32_t& defbaud,
                         int32_t& defbytesize, int32_t& defparity, int32_t& defstopbits) {
  const DeviceDescription* d = FindDescription(name, version);
  if (!d) return false;
  defbaud = d->defbaud;
  defbytesize = d->defbytesize;
  defparity = d->defparity;
  defstopbits = d->defstopbits;
  return true;
}

int32_t PollIndexForBaud(const DeviceDescription& entry, int32_t baud) {
  const auto it = std::find(entry.validbauds.begin(), entry.validbauds.end(), baud);
  if (it == entry.validbauds.end()) return entry.pollmin;
  const auto n = static_cast<size_t>(it - entry.validbauds.begin());
  if (n >= entry.minpolls.size() || entry.minpolls[n] < 0) return entry.pollmin;
  return entry.minpolls[n];
}

void ClearCatalogue() { Catalogue().Clear(); }
