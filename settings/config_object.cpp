#include "settings/config_object.h"

#include <algorithm>

#include "settings/kv_store.h"

namespace {

// Children loaded per object at most: the configurator stores one, and checking
// each loaded name against its siblings must not grow into hours on a store
// damaged or made by hand.
constexpr size_t kMaxStoredChildren = 4096;

// The positions below `count` that exist as subkeys of the location, ascending. A
// stored "chCnt" may be far larger than the children really there; walking the
// existing subkeys instead of every number up to it keeps a damaged count from
// costing billions of lookups. Only canonical decimal names ("0", "17") are child
// positions.
std::vector<uint32_t> StoredChildPositions(std::string_view location, uint32_t count) {
  std::vector<uint32_t> positions;
  std::vector<std::string> names;
  if (count == 0 || !ReadStoredSubkeys(location, names)) return positions;
  for (const std::string& n : names) {
    if (n.empty() || n.size() > 10 || (n.size() > 1 && n[0] == '0')) continue;
    uint64_t v = 0;
    bool digits = true;
    for (char c : n) {
      if (c < '0' || c > '9') {
        digits = false;
        break;
      }
      v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (digits && v < count) positions.push_back(static_cast<uint32_t>(v));
  }
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  if (positions.size() > kMaxStoredChildren) positions.resize(kMaxStoredChildren);
  return positions;
}

// Formats a printf-style name pattern with one unsigned number. Only %u, %d, %i,
// %x, %X and %o (with an optional 0 flag and width) and %% are understood; any
// other % sequence is copied as it stands, so a pattern never reads a missing
// argument.
std::string FormatNamePattern(const std::string& pattern, uint32_t number) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    size_t j = i + 1;
    if (j < pattern.size() && pattern[j] == '%') {
      out.push_back('%');
      i = j;
      continue;
    }
    bool zero = false;
    if (j < pattern.size() && pattern[j] == '0') {
      zero = true;
      ++j;
    }
    size_t width = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && width < 64)
      width = width * 10 + static_cast<size_t>(pattern[j++] - '0');
    if (j >= pattern.size()) {
      out.append(pattern, i, std::string::npos);
      break;
    }
    char conv = pattern[j];
    std::string digits;
    switch (conv) {
      case 'u':
        digits = std::to_string(number);
        break;
      case 'd':
      case 'i':
        digits = std::to_string(static_cast<int32_t>(number));
        break;
      case 'x':
      case 'X':
      case 'o': {
        unsigned base = conv == 'o' ? 8 : 16;
        const char* set = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        uint32_t v = number;
        do {
          digits.insert(digits.begin(), set[v % base]);
          v /= base;
        } while (v != 0);
        break;
      }
      default:
        out.append(pattern, i, j + 1 - i);
        i = j;
        continue;
    }
    if (digits.size() < width) {
      size_t pad = width - digits.size();
      if (zero && !digits.empty() && digits[0] == '-')
        digits.insert(1, pad, '0');
      else
        digits.insert(0, pad, zero ? '0' : ' ');
    }
    out += digits;
    i = j;
  }
  return out;
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

// How deep Load follows stored children. The registry itself stops at 512 levels;
// the configurator's own tree is two levels deep.
constexpr int kMaxLoadDepth = 64;
thread_local int t_loadDepth = 0;

}  // namespace

ConfigObject::ConfigObject() = default;

ConfigObject::~ConfigObject() {
  while (!children.empty()) {
    ConfigObject* child = children.front();
    // The child's destructor takes it out of this list; make sure of it even for a
    // child whose parent link was changed behind our back.
    child->parent = this;
    delete child;
    if (!children.empty() && children.front() == child) children.erase(children.begin());
  }
  if (parent) parent->RemoveChild(this);
}

int ConfigObject::Hook(int) { return 0; }

bool ConfigObject::Load(const std::string& location) {
  std::string text;
  if (!ReadStoredText(location, "name", text)) return false;
  name = text;
  uint32_t n = 0;
  lastCh = ReadStoredNumber(location, "lastCh", n) ? n : 0;
  lastGr = ReadStoredNumber(location, "lastGr", n) ? n : 0;
  int32_t i = 0;
  ro = ReadStoredInt(location, "ro", i) ? i : 0;
  if (ReadStoredText(location, "description", text)) description = text;
  Guid id;
  if (ReadStoredText(location, "objId", text) && GuidFromText(text, id))
    objId = id;
  else
    objId = Guid{};

  uint32_t count = 0;
  if (!ReadStoredNumber(location, "chCnt", count)) count = 0;
  if (t_loadDepth >= kMaxLoadDepth) return true;
  ++t_loadDepth;
  for (uint32_t position : StoredChildPositions(location, count)) {
    std::string childLocation = location + "\\" + std::to_string(position);
    std::string childType;
    if (!ReadStoredText(childLocation, "type", childType) || !AcceptsChildType(childType)) continue;
    ConfigObject* child = FactoryCreate(childType);
    if (!child) continue;
    child->parent = this;
    if (!child->Load(childLocation)) {
      child->parent = nullptr;
      FactoryDestroy(child);
      continue;
    }
    AdoptLoadedChild(child);
  }
  --t_loadDepth;
  return true;
}

void ConfigObject::AdoptLoadedChild(ConfigObject* child) {
  if (!IsNameAvailable(child, child->name))
    child->SetName(child->IsGroup() ? NextGroupName() : NextChildName());
  if (!AddChild(child)) {
    child->parent = nullptr;
    FactoryDestroy(child);
  }
}

bool ConfigObject::Save(const std::string& location) {
  WriteStoredText(location, "type", type);
  WriteStoredText(location, "name", name);
  WriteStoredNumber(location, "lastCh", lastCh);
  WriteStoredNumber(location, "lastGr", lastGr);
  WriteStoredNumber(location, "ro", static_cast<uint32_t>(ro));
  WriteStoredText(location, "description", description);
  std::string id;
  if (!GuidToText(objId, id)) id = PortableGuidToText(objId);
  WriteStoredText(location, "objId", id);
  uint32_t n = 0;
  for (ConfigObject* child : children) {
    if (!child->IsPersistent()) continue;
    child->Save(location + "\\" + std::to_string(n));
    ++n;
  }
  WriteStoredNumber(location, "chCnt", n);
  return true;
}

bool ConfigObject::CopyTo(ConfigObject* target, bool asNew) {
  if (!target) return false;
  target->name = name;
  target->type = type;
  target->description = description;
  target->ro = asNew ? 0 : ro;
  target->objId = asNew ? Guid{} : objId;
  for (ConfigObject* child : children) {
    ConfigObject* copy = FactoryCreate(child->type);
    if (!copy) continue;
    if (!child->CopyTo(copy, asNew)) {
      FactoryDestroy(copy);
      return false;
    }
    if (!target->AddChild(copy)) FactoryDestroy(copy);
  }
  return true;
}

bool ConfigObject::AcceptsChildType(const std::string&) { return true; }

std::string ConfigObject::NextChildName() {
  if (childNameFormat.empty()) return std::string();
  // Distinct numbers give distinct names, so one more try than there are children
  // always finds a free one; a pattern that gives the same or unusable names every
  // time gives up instead of counting forever.
  for (size_t tries = children.size() + 1; tries > 0; --tries) {
    ++lastCh;
    std::string candidate = FormatNamePattern(childNameFormat, lastCh);
    if (IsNameAvailable(nullptr, candidate)) return candidate;
  }
  return std::string();
}

std::string ConfigObject::NextGroupName() {
  for (size_t tries = children.size() + 1; tries > 0; --tries) {
    ++lastGr;
    std::string candidate = "group" + std::to_string(lastGr);
    if (IsNameAvailable(nullptr, candidate)) return candidate;
  }
  return std::string();
}

void ConfigObject::SetName(const std::string& text) { name = text; }

std::string ConfigObject::GetName() const { return name; }

bool ConfigObject::IsNameAvailable(const ConfigObject* candidate, const std::string& text) const {
  if (text.empty()) return false;
  for (char c : text)
    if (!IsNameCharacter(c)) return false;
  for (const ConfigObject* child : children)
    if (child != candidate && child->name == text) return false;
  return true;
}

bool ConfigObject::Serialize(Archive& ar) {
  if (ar.IsStoring()) {
    formatVersion = kArchiveFormatVersion;
    ar.WriteInt32(formatVersion);
    ar.WriteString(name);
    ar.WriteUInt32(lastCh);
    ar.WriteUInt32(lastGr);
    ar.WriteInt32(ro);
    ar.WriteString(description);
    std::string id;
    if (objId.IsNil() || !GuidToText(objId, id)) {
      ar.WriteByte(0);
    } else {
      ar.WriteByte(1);
      ar.WriteString(id);
    }
    return true;
  }
  formatVersion = ar.ReadInt32();
  ar.ReadString(name);
  lastCh = ar.ReadUInt32();
  lastGr = ar.ReadUInt32();
  ro = ar.ReadInt32();
  if (formatVersion > 1000) ar.ReadString(description);
  if (formatVersion > 1001 && ar.ReadByte() != 0) {
    std::string id;
    Guid guid;
    if (ar.ReadString(id) && GuidFromText(id, guid))
      objId = guid;
    else
      objId = Guid{};
  }
  return !ar.Failed();
}

bool ConfigObject::SerializeChildren(Archive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString("childs");
    uint32_t count = 0;
    for (ConfigObject* child : children)
      if (child->IsPersistent()) ++count;
    ar.WriteUInt32(count);
    for (ConfigObject* child : children) {
      if (!child->IsPersistent()) continue;
      ar.WriteString(child->type);
      child->Serialize(ar);
    }
    return true;
  }
  std::string tag;
  if (!ar.ReadString(tag) || tag != "childs") return false;
  int32_t count = ar.ReadInt32();
  if (ar.Failed()) return false;
  for (int32_t i = 0; i < count; ++i) {
    std::string childType;
    if (!ar.ReadString(childType)) return false;
    // A record of a type the factory does not know cannot be skipped: its length
    // is known only to its class.
    ConfigObject* child = FactoryCreate(childType);
    if (!child) return false;
    child->parent = this;
    if (!child->Serialize(ar)) {
      child->parent = nullptr;
      FactoryDestroy(child);
      return false;
    }
    AdoptLoadedChild(child);
  }
  return true;
}

bool ConfigObject::IsGroup() const { return false; }
bool ConfigObject::FirstQuery() const { return false; }
bool ConfigObject::SecondQuery() const { return false; }

std::string ConfigObject::DisplayText() const { return description.empty() ? name : description; }

bool ConfigObject::IsPersistent() const { return true; }

bool ConfigObject::AddChild(ConfigObject* child) {
  if (!child || child == this || !AcceptsChildType(child->type)) return false;
  if (child->parent && child->parent != this) child->parent->RemoveChild(child);
  RemoveChild(child);
  child->parent = this;
  children.push_back(child);
  return true;
}

void ConfigObject::RemoveChild(ConfigObject* child) {
  auto it = std::find(children.begin(), children.end(), child);
  if (it != children.end()) children.erase(it);
}

ConfigObject* LoadTree(const std::string& location) {
  auto* root = new ConfigObject();
  root->Load(location + "\\configuration");
  return root;
}

bool SaveTree(ConfigObject* root, const std::string& location) {
  std::string stored = location + "\\configuration";
  KvStore& store = ActiveKvStore();
  store.BeginUpdate();
  Location loc = SplitLocation(stored);
  if (loc.scheme == "reg") DeleteStoredTree(loc.path);
  if (root) root->Save(stored);
  store.EndUpdate();
  return true;
}
