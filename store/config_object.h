// The configuration object tree: everything the configurator remembers between
// runs. A plain root object holds typed children (in practice one "kv4t_device");
// the tree is stored under a location "scheme::path" (only "reg" is stored: a key
// path under HKEY_CURRENT_USER, kept by the key/value store of kv_store.h) and one
// object can be written to and read from an archive (the converter configuration
// file).
//
// Texts held by objects are 8-bit Windows-1251; they become UTF-16 only in stored
// values and archive strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/uuid.h"

class ConfigObject;

// ---------------------------------------------------------------------------
// Archive: the byte stream of a configuration file. Integers are 32-bit
// little-endian, flags one byte, texts archive strings (see WriteString).
// A read past the end of the data marks the archive failed; every later read
// answers zero or an empty text, so a reader cut short never loops on garbage.

class Archive {
public:
  // An archive that stores into an empty buffer.
  Archive();
  // An archive that loads from `size` bytes at `data` (not copied: they must
  // outlive the archive).
  Archive(const uint8_t* data, size_t size);

  bool IsStoring() const { return storing_; }
  bool IsLoading() const { return !storing_; }
  // True once a read ran past the end of the data or met an impossible length.
  bool Failed() const { return failed_; }

  void WriteByte(uint8_t value);
  void WriteUInt32(uint32_t value);
  void WriteInt32(int32_t value) { WriteUInt32(static_cast<uint32_t>(value)); }
  // An archive string: 0xFF, the 16-bit tag 0xFFFE, the length L in UTF-16 units
  // (one byte when L < 255; else 0xFF and 16 bits when L < 0xFFFE; else 0xFF,
  // 0xFFFF and 32 bits), then L UTF-16LE units. The text is Windows-1251.
  void WriteString(std::string_view text);

  uint8_t ReadByte();
  uint32_t ReadUInt32();
  int32_t ReadInt32() { return static_cast<int32_t>(ReadUInt32()); }
  // Reads an archive string in the tagged UTF-16 form or the untagged 8-bit form
  // (the bytes are Windows-1251). False (and an empty text) when the data ends
  // early; the archive is then failed.
  bool ReadString(std::string& text);

  // What was stored so far.
  const std::vector<uint8_t>& Data() const { return out_; }
  // Bytes consumed so far while loading.
  size_t Position() const { return pos_; }

private:
  bool Take(void* dst, size_t n);

  bool storing_;
  bool failed_ = false;
  std::vector<uint8_t> out_;
  const uint8_t* in_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
};

// ---------------------------------------------------------------------------
// Locations: "scheme::path", split at the first "::" (no "::": empty scheme, the
// whole text is the path). A child lives at its parent's location + "\" + its
// position number.

struct Location {
  std::string scheme;
  std::string path;
};
Location SplitLocation(std::string_view location);

// The registry primitives on (location, value name). Only the scheme "reg" is
// stored; other locations answer "not found" to reads and ignore writes. Texts
// are converted between Windows-1251 and the stored UTF-16; a text read loses one
// trailing zero character when it has one.
bool ReadStoredText(std::string_view location, std::string_view name, std::string& value);
bool ReadStoredNumber(std::string_view location, std::string_view name, uint32_t& value);
bool ReadStoredInt(std::string_view location, std::string_view name, int32_t& value);
bool WriteStoredText(std::string_view location, std::string_view name, std::string_view value);
bool WriteStoredNumber(std::string_view location, std::string_view name, uint32_t value);
// Deletes the key at `path` (under HKEY_CURRENT_USER) with all its subkeys.
bool DeleteStoredTree(std::string_view path);

// ---------------------------------------------------------------------------
// Object factory: children are only ever created through the registered create
// function; with none registered no child is created.

using ObjectCreateFn = ConfigObject* (*)(const std::string& type);
using ObjectDestroyFn = void (*)(ConfigObject* object);

struct ObjectFactory {
  ObjectCreateFn create = nullptr;
  ObjectDestroyFn destroy = nullptr;
};

void RegisterObjectFactory(ObjectCreateFn create, ObjectDestroyFn destroy);
const ObjectFactory& RegisteredObjectFactory();
// Through the registered functions: nullptr when none is registered or the type
// is unknown; FactoryDestroy falls back to delete when no destroy is registered.
ConfigObject* FactoryCreate(const std::string& type);
void FactoryDestroy(ConfigObject* object);

// ---------------------------------------------------------------------------

class ConfigObject {
public:
  ConfigObject();
  ConfigObject(const ConfigObject&) = delete;
  ConfigObject& operator=(const ConfigObject&) = delete;

  // Destroys the children first (each removes itself from this list), then leaves
  // the parent's list.
  virtual ~ConfigObject();
  // No caller; answers 0.
  virtual int Hook(int argument);
  // Reads the object and its children from the store at `location`; false (having
  // read nothing else) when the value "name" is missing.
  virtual bool Load(const std::string& location);
  // Writes "type", "name", "lastCh", "lastGr", "ro", "description", "objId", the
  // persistent children in subkeys 0, 1, ... and "chCnt". Always true.
  virtual bool Save(const std::string& location);
  // Copies name, type, description, ro and objId (the last two cleared when
  // asNew) and copies of the children into `target`.
  virtual bool CopyTo(ConfigObject* target, bool asNew);
  virtual bool AcceptsChildType(const std::string& type);
  virtual std::string NextChildName();
  virtual std::string NextGroupName();
  virtual void SetName(const std::string& text);
  virtual std::string GetName() const;
  // False for an empty text, for one with a character other than an ASCII letter,
  // digit, "-" or "_", and for the exact name of a child other than `candidate`.
  virtual bool IsNameAvailable(const ConfigObject* candidate, const std::string& text) const;
  // The archive record of this object; false when loading ran past the end of
  // the data.
  virtual bool Serialize(Archive& ar);
  virtual bool SerializeChildren(Archive& ar);
  virtual bool IsGroup() const;
  // No caller; both answer false.
  virtual bool FirstQuery() const;
  virtual bool SecondQuery() const;
  // `description` when not empty, else `name`.
  virtual std::string DisplayText() const;
  virtual bool IsPersistent() const;

  // Adopts `child` (appends it) unless AcceptsChildType refuses its type.
  bool AddChild(ConfigObject* child);
  // Takes `child` out of the list without destroying it.
  void RemoveChild(ConfigObject* child);
  const std::vector<ConfigObject*>& Children() const { return children; }
  ConfigObject* Parent() const { return parent; }
  // Sets the parent without adopting (the loader does this before a child loads).
  void SetParent(ConfigObject* p) { parent = p; }

  std::string name = "noname";
  std::string description;
  std::string childNameFormat = "obj%u";
  uint32_t lastCh = 0;
  uint32_t lastGr = 0;
  std::string type = "object";

protected:
  std::vector<ConfigObject*> children;
  ConfigObject* parent = nullptr;

public:
  Guid objId;
  int32_t ro = 0;
  // The version of the last archive record read into the object (0 before any).
  int32_t formatVersion = 0;

private:
  void AdoptLoadedChild(ConfigObject* child);
};

// The version written into every archive record: above 1001, so a reader takes
// the description and the identity back.
constexpr int32_t kArchiveFormatVersion = 1002;

// Loads the tree stored at location + "\configuration" into a new plain root
// (defaults and no children when nothing is stored). The caller owns the root.
ConfigObject* LoadTree(const std::string& location);
// Deletes what is stored at location + "\configuration" (scheme "reg") and saves
// the root there. Always true.
bool SaveTree(ConfigObject* root, const std::string& location);
