// A small JSON reader and writer for the simulator's state file. The reader takes
// outside input (a state file anyone may have edited): it is bounded in depth and
// never throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv4t::sim {

struct JsonMember;

struct JsonValue {
  enum class Type { null, boolean, number, string, array, object };
  Type type = Type::null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> array;
  std::vector<JsonMember> object;

  const JsonValue* find(std::string_view key) const;  // object member or null
  bool is_int() const;                                // a number with no fraction in range
  long long as_int(long long fallback) const;
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Parses a whole JSON text; false with a short reason on malformed input.
bool json_parse(std::string_view text, JsonValue& out, std::string* error = nullptr);
// Appends s as a JSON string literal (quotes and escapes included).
void json_quote(std::string& out, std::string_view s);

}  // namespace kv4t::sim
