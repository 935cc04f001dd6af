// The configuration object tree: everything the configurator remembers between
// runs. A plain root object holds typed children (in practice one "kv4t_device");
// the tree is stored under a location "scheme::path" (only "reg" is stored: a key
// path under HKEY_CURRENT_USER, kept by the key/value store of kv_store.h) and one
// object can be written to and read from an archive (the converter configuration
// file).
//
// Texts held by objects are 8-bit Windows-1251; they become UTF-16 only in stored
// values and archive strings.
//
// What the objects are built on has a header of its own, included here for every
// user of the tree: the archive (archive.h), the locations and stored values
// (stored_values.h) and the object factory (object_factory.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/archive.h"
#include "settings/object_factory.h"
#include "settings/stored_values.h"
#include "settings/uuid.h"

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
