// The values of the configuration tree under their locations: "scheme::path",
// split at the first "::" (no "::": empty scheme, the whole text is the path). A
// child lives at its parent's location + "\" + its position number. The values
// are kept by the active key/value store (kv_store.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// Names of the subkeys of the key at the location (Windows-1251); false when
// nothing is stored there.
bool ReadStoredSubkeys(std::string_view location, std::vector<std::string>& names);
// Deletes the key at `path` (under HKEY_CURRENT_USER) with all its subkeys.
bool DeleteStoredTree(std::string_view path);
