#include "settings/file_store.h"

#include <cstdio>
#include <list>
#include <system_error>

#include "common/code_pages.h"
#include "common/file_io.h"
#include "common/hex_digits.h"

struct FileStore::Key {
  std::u16string name;
  std::list<Value> values;  // in the order first set
  std::map<std::u16string, std::list<Value>::iterator> valueIndex;  // by case-folded name
  std::map<std::u16string, std::unique_ptr<Key>> subkeys;           // by case-folded name

  Value* Find(const std::u16string& valueName);
  // Sets the value, keeping its place when it exists.
  void Set(Value value);
  void Erase(const std::u16string& valueName);
};

namespace {

// The registry's own limits: 512 levels of keys, 255 characters per key name.
constexpr size_t kMaxDepth = 512;
constexpr size_t kMaxKeyName = 255;
// A store file is a few kilobytes; one far larger is not read.
constexpr size_t kMaxFileBytes = 64u << 20;

const char kHeader[] = "Windows Registry Editor Version 5.00";
const char kHive[] = "HKEY_CURRENT_USER";

// Key and value names compare without regard to the case of ASCII letters.
std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}


// Splits "a\b\c" into its key names; false for an empty name (a doubled, leading
// or trailing "\"), a name too long or too many levels.
bool SplitPath(const std::u16string& path, std::vector<std::u16string>& parts) {
  parts.clear();
  if (path.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = path.find(u'\\', start);
    std::u16string part = path.substr(start, end == std::u16string::npos ? end : end - start);
    if (part.empty() || part.size() > kMaxKeyName) return false;
    parts.push_back(std::move(part));
    if (parts.size() > kMaxDepth) return false;
    if (end == std::u16string::npos) return true;
    start = end + 1;
  }
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> data;
  data.reserve(text.size() * 2);
  for (char16_t u : text) {
    data.push_back(static_cast<uint8_t>(u));
    data.push_back(static_cast<uint8_t>(u >> 8));
  }
  return data;
}

std::u16string BytesUtf16(const std::vector<uint8_t>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  return text;
}

std::string ToUtf8(const std::u16string& s) { return WideToUtf8(Utf16ToWide(s)); }
std::u16string FromUtf8(std::string_view s) { return WideToUtf16(Utf8ToWide(s)); }

// A text the quoted form holds exactly: well-formed UTF-16 without control
// characters.
bool IsCleanText(const std::u16string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < 0x20 || c == 0x7F) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

std::string Quote(const std::u16string& s) {
  std::string out = "\"";
  for (char c : ToUtf8(s)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string Hex(const std::vector<uint8_t>& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) out.push_back(',');
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 15]);
  }
  return out;
}

std::string FormatValue(const FileStore::Value& v) {
  std::string line = v.name.empty() ? std::string("@") : Quote(v.name);
  line.push_back('=');
  char buf[32];
  if (v.type == kRegSz && v.data.size() % 2 == 0 && IsCleanText(BytesUtf16(v.data))) {
    line += Quote(BytesUtf16(v.data));
  } else if (v.type == kRegDword && v.data.size() == 4) {
    uint32_t d = static_cast<uint32_t>(v.data[0]) | static_cast<uint32_t>(v.data[1]) << 8 |
                 static_cast<uint32_t>(v.data[2]) << 16 | static_cast<uint32_t>(v.data[3]) << 24;
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
    line += buf;
  } else if (v.type == kRegBinary) {
    line += "hex:" + Hex(v.data);
  } else {
    std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
    line += buf + Hex(v.data);
  }
  return line;
}

void FormatKey(const FileStore::Key& key, const std::u16string& path, bool isRoot,
               std::string& out) {
  if (!isRoot || !key.values.empty()) {
    out += "\r\n[";
    out += kHive;
    if (!isRoot) {
      out.push_back('\\');
      out += ToUtf8(path);
    }
    out += "]\r\n";
    for (const FileStore::Value& v : key.values) out += FormatValue(v) + "\r\n";
  }
  for (const auto& [folded, sub] : key.subkeys)
    FormatKey(*sub, isRoot ? sub->name : path + u"\\" + sub->name, false, out);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

// A quoted text at the start of s (backslash escapes the next byte); the rest of
// the line after the closing quote goes to `rest`.
bool ParseQuoted(std::string_view s, std::string& text, std::string_view& rest) {
  if (s.empty() || s.front() != '"') return false;
  text.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      text.push_back(s[++i]);
    } else if (c == '"') {
      rest = s.substr(i + 1);
      return true;
    } else {
      text.push_back(c);
    }
  }
  return false;
}

bool ParseHexNumber(std::string_view s, uint32_t& value) {
  s = Trim(s);
  if (s.empty() || s.size() > 8) return false;
  value = 0;
  for (char c : s) {
    int d = HexDigitValue(static_cast<unsigned char>(c));
    if (d < 0) return false;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  return true;
}

bool ParseHexBytes(std::string_view s, std::vector<uint8_t>& data) {
  data.clear();
  s = Trim(s);
  if (s.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = s.find(',', start);
    std::string_view item = Trim(s.substr(start, end == std::string_view::npos ? end : end - start));
    uint32_t v = 0;
    if (item.size() > 2 || !ParseHexNumber(item, v)) return false;
    data.push_back(static_cast<uint8_t>(v));
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace

FileStore::Value* FileStore::Key::Find(const std::u16string& valueName) {
  auto it = valueIndex.find(Fold(valueName));
  return it == valueIndex.end() ? nullptr : &*it->second;
}

void FileStore::Key::Set(Value value) {
  std::u16string folded = Fold(value.name);
  auto it = valueIndex.find(folded);
  if (it != valueIndex.end()) {
    it->second->type = value.type;
    it->second->data = std::move(value.data);
    return;
  }
  values.push_back(std::move(value));
  valueIndex.emplace(std::move(folded), std::prev(values.end()));
}

void FileStore::Key::Erase(const std::u16string& valueName) {
  auto it = valueIndex.find(Fold(valueName));
  if (it == valueIndex.end()) return;
  values.erase(it->second);
  valueIndex.erase(it);
}

FileStore::FileStore(std::filesystem::path file)
    : file_(std::move(file)), root_(std::make_unique<Key>()) {}

FileStore::~FileStore() = default;

void FileStore::EnsureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  if (file_.empty()) return;
  std::vector<uint8_t> bytes;
  FileReadStatus status = ReadWholeFile(file_, false, kMaxFileBytes, bytes);
  if (status == FileReadStatus::kMissing) return;
  if (status != FileReadStatus::kOk) {
    unreadable_ = true;
    return;
  }
  ParseText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool FileStore::Unreadable() {
  EnsureLoaded();
  return unreadable_;
}

void FileStore::ParseText(std::string_view text) {
  loaded_ = true;
  root_ = std::make_unique<Key>();
  if (text.starts_with(utf8_bom)) text.remove_prefix(utf8_bom.size());
  Key* current = nullptr;
  size_t pos = 0;
  auto nextLine = [&](std::string_view& line) {
    if (pos >= text.size()) return false;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    return true;
  };
  std::string_view line;
  while (nextLine(line)) {
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      current = nullptr;
      if (line.back() != ']') continue;
      std::string_view inner = line.substr(1, line.size() - 2);
      if (!StartsWithNoCase(inner, kHive)) continue;
      inner.remove_prefix(sizeof kHive - 1);
      if (inner.empty()) {
        current = root_.get();
      } else if (inner.front() == '\\') {
        current = CreateKeyPath(FromUtf8(inner.substr(1)));
      }
      continue;
    }
    if (!current) continue;
    std::string name;
    std::string_view rest;
    if (line.front() == '@') {
      rest = line.substr(1);
    } else if (!ParseQuoted(line, name, rest)) {
      continue;
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') continue;
    rest = Trim(rest.substr(1));
    if (rest.empty()) continue;
    std::string joined;
    // Long hex data may go on over lines ending in "\".
    if (StartsWithNoCase(rest, "hex") && !rest.empty() && rest.back() == '\\') {
      joined.assign(rest);
      std::string_view more;
      while (!joined.empty() && joined.back() == '\\' && nextLine(more)) {
        joined.pop_back();
        joined += more;
      }
      rest = joined;
    }
    Value value;
    value.name = FromUtf8(name);
    if (rest.front() == '"') {
      std::string data;
      std::string_view tail;
      if (!ParseQuoted(rest, data, tail)) continue;
      value.type = kRegSz;
      value.data = Utf16Bytes(FromUtf8(data));
    } else if (StartsWithNoCase(rest, "dword:")) {
      uint32_t d = 0;
      if (!ParseHexNumber(rest.substr(6), d)) continue;
      value.type = kRegDword;
      value.data = {static_cast<uint8_t>(d), static_cast<uint8_t>(d >> 8),
                    static_cast<uint8_t>(d >> 16), static_cast<uint8_t>(d >> 24)};
    } else if (StartsWithNoCase(rest, "hex:")) {
      if (!ParseHexBytes(rest.substr(4), value.data)) continue;
      value.type = kRegBinary;
    } else if (StartsWithNoCase(rest, "hex(")) {
      size_t close = rest.find("):");
      if (close == std::string_view::npos || !ParseHexNumber(rest.substr(4, close - 4), value.type))
        continue;
      if (!ParseHexBytes(rest.substr(close + 2), value.data)) continue;
    } else if (rest == "-") {
      current->Erase(value.name);
      continue;
    } else {
      continue;
    }
    current->Set(std::move(value));
  }
}

std::string FileStore::FormatText() {
  EnsureLoaded();
  std::string out = kHeader;
  out += "\r\n";
  FormatKey(*root_, std::u16string(), true, out);
  return out;
}

FileStore::Key* FileStore::FindKey(const std::u16string& path) {
  EnsureLoaded();
  std::vector<std::u16string> parts;
  if (!SplitPath(path, parts)) return nullptr;
  Key* key = root_.get();
  for (const std::u16string& part : parts) {
    auto it = key->subkeys.find(Fold(part));
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

FileStore::Key* FileStore::CreateKeyPath(const std::u16string& path) {
  std::vector<std::u16string> parts;
  if (!SplitPath(path, parts)) return nullptr;
  Key* key = root_.get();
  for (const std::u16string& part : parts) {
    std::unique_ptr<Key>& slot = key->subkeys[Fold(part)];
    if (!slot) {
      slot = std::make_unique<Key>();
      slot->name = part;
    }
    key = slot.get();
  }
  return key;
}

bool FileStore::GetValue(const std::u16string& path, const std::u16string& name, Value& value) {
  Key* key = FindKey(path);
  if (!key) return false;
  const Value* v = key->Find(name);
  if (!v) return false;
  value = *v;
  return true;
}

bool FileStore::SetValue(const std::u16string& path, const std::u16string& name, uint32_t type,
                         std::vector<uint8_t> data) {
  EnsureLoaded();
  if (unreadable_) return false;
  for (char16_t c : name)
    if (c == u'\r' || c == u'\n') return false;
  Key* key = CreateKeyPath(path);
  if (!key) return false;
  key->Set(Value{name, type, std::move(data)});
  return Changed();
}

bool FileStore::ValueNames(const std::u16string& path, std::vector<std::u16string>& names) {
  Key* key = FindKey(path);
  if (!key) return false;
  for (const Value& v : key->values) names.push_back(v.name);
  return true;
}

bool FileStore::KeyExists(const std::u16string& path) { return FindKey(path) != nullptr; }

bool FileStore::ReadText(const std::u16string& path, const std::u16string& name,
                         std::u16string& text) {
  Value v;
  if (!GetValue(path, name, v)) return false;
  text = BytesUtf16(v.data);
  return true;
}

bool FileStore::ReadNumber(const std::u16string& path, const std::u16string& name,
                           uint32_t& value) {
  Value v;
  if (!GetValue(path, name, v) || v.data.size() > 4) return false;
  uint8_t b[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < v.data.size(); ++i) b[i] = v.data[i];
  value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
          static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

bool FileStore::WriteText(const std::u16string& path, const std::u16string& name,
                          const std::u16string& text) {
  return SetValue(path, name, kRegSz, Utf16Bytes(text));
}

bool FileStore::WriteNumber(const std::u16string& path, const std::u16string& name,
                            uint32_t value) {
  return SetValue(path, name, kRegDword,
                  {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                   static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

bool FileStore::DeleteTree(const std::u16string& path) {
  EnsureLoaded();
  if (unreadable_) return false;
  std::vector<std::u16string> parts;
  if (path.empty() || !SplitPath(path, parts) || !FindKey(path)) return false;
  Key* parent = root_.get();
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent = parent->subkeys[Fold(parts[i])].get();
  parent->subkeys.erase(Fold(parts.back()));
  Changed();
  return true;
}

bool FileStore::EnumSubkeys(const std::u16string& path, std::vector<std::u16string>& names) {
  Key* key = FindKey(path);
  if (!key) return false;
  for (const auto& [folded, sub] : key->subkeys) names.push_back(sub->name);
  return true;
}

void FileStore::BeginUpdate() { ++updateDepth_; }

void FileStore::EndUpdate() {
  if (updateDepth_ > 0 && --updateDepth_ == 0 && dirty_) Flush();
}

bool FileStore::Changed() {
  if (updateDepth_ > 0) {
    dirty_ = true;
    return true;
  }
  return Flush();
}

bool FileStore::Flush() {
  EnsureLoaded();
  dirty_ = false;
  if (file_.empty()) return true;
  if (unreadable_) return false;
  std::error_code ec;
  if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
  std::string text = FormatText();
  return WriteFileReplacing(file_, text.data(), text.size());
}
