// The exported functions as a program calls them (linked against the library),
// and the lookups of the core where the library cannot be made to fail.
#include "pargo/pargo.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "pargo/lookup.h"

extern "C" int pargo_c_round_trip(void);

namespace {

constexpr int untouched = 12345;

// The text a string lookup answers, given back at once; "(none)" when not found.
std::string string_of(int key) {
  char* text = nullptr;
  if (PRGO_LookupArgString(key, &text) != 1) return "(none)";
  if (text == nullptr) return "(null)";
  std::string copy(text);
  PRGO_FreeString(text);
  return copy;
}

struct lookup_case {
  const char* line;
  int key;
  int int_found;  // PRGO_LookupArgInt
  int int_value;
  int bool_value;
  const char* text;  // PRGO_LookupArgString, "(none)" when not found
};

TEST(PargoApi, LookupsByKey) {
  const lookup_case cases[] = {
      {"/PORT:0x10", 7, 1, 16, 1, "16"},
      {"/port:010", 7, 1, 8, 1, "8"},
      {"/port:0x1F", 7, 1, 31, 1, "31"},
      {"/port", 7, 1, 0, 0, "0"},
      {"/port:", 7, 1, 0, 0, "0"},
      {"/port:3 /port:4", 7, 1, 3, 1, "3"},
      {"/read/port:5", 7, 1, 5, 1, "5"},
      {"/read/port:5", 2, 1, 0, 0, ""},
      {"/x:-10", 16, 1, -10, 1, "-10"},
      {"/w:4294967296", 18, 1, -1, 1, "-1"},
      {"/prty:EVEN", 9, 1, 2, 1, "2"},
      {"/prty:mark", 9, 1, 0, 0, "0"},
      {"/rs485:sometimes", 14, 1, -1, 1, "-1"},
      {"/autoread:on", 20, 1, 1, 1, "1"},
      {"/autoread:off", 20, 1, 0, 0, "0"},
      {"/device:\"My box\" /read", 24, 0, untouched, untouched, "My box"},
      {"/device", 24, 0, untouched, untouched, ""},
      {"cfg.kv4t other", 1, 0, untouched, untouched, "cfg.kv4t"},
      {"/silent cfg.kv4t", 1, 0, untouched, untouched, "cfg.kv4t"},
      {"/device:\xcf\xf0\xe8\xe1\xee\xf0", 24, 0, untouched, untouched, "\xcf\xf0\xe8\xe1\xee\xf0"},
      {"/nosuch:5", 0, 0, untouched, untouched, "(none)"},
      {"/nosuch:5", 7, 0, untouched, untouched, "(none)"},
      {"/read", -1, 0, untouched, untouched, "(none)"},
      {"/read", 28, 0, untouched, untouched, "(none)"},
      {"/read", INT_MAX, 0, untouched, untouched, "(none)"},
      {"/io:socket:7", 34, 1, 7, 1, "7"},
      {"/io:pipe:x /io:socket:7", 34, 1, 7, 1, "x"},
      {"/io:stdio", 34, 1, 0, 0, ""},
  };
  for (const auto& c : cases) {
    PRGO_SetArguments(c.line);
    int value = untouched;
    EXPECT_EQ(PRGO_LookupArgInt(c.key, &value), c.int_found) << c.line << " key " << c.key;
    EXPECT_EQ(value, c.int_value) << c.line << " key " << c.key;
    int flag = untouched;
    EXPECT_EQ(PRGO_LookupArgBool(c.key, &flag), c.int_found) << c.line << " key " << c.key;
    EXPECT_EQ(flag, c.bool_value) << c.line << " key " << c.key;
    EXPECT_EQ(string_of(c.key), c.text) << c.line << " key " << c.key;
  }
}

TEST(PargoApi, NothingIsFoundWithoutArguments) {
  const char* lines[] = {nullptr, "", "    ", "\\", "\"\""};
  for (const char* line : lines) {
    PRGO_SetArguments("/port:1 /device:x /io:stdio");
    PRGO_SetArguments(line);
    int value = untouched;
    char* text = reinterpret_cast<char*>(&value);
    int io = untouched;
    for (int key : {0, 1, 7, 24, 34}) {
      EXPECT_EQ(PRGO_LookupArgInt(key, &value), 0);
      EXPECT_EQ(PRGO_LookupArgBool(key, &value), 0);
      EXPECT_EQ(PRGO_LookupArgString(key, &text), 0);
    }
    EXPECT_EQ(PRGO_LookupIoArg(&io, &text), 0);
    EXPECT_EQ(value, untouched);
    EXPECT_EQ(io, untouched);
    EXPECT_EQ(text, reinterpret_cast<char*>(&value));
  }

  pargo::argument_list never_set;
  int value = untouched;
  char* text = nullptr;
  EXPECT_EQ(pargo::lookup_int(never_set, 7, &value), 0);
  EXPECT_EQ(pargo::lookup_bool(never_set, 7, &value), 0);
  EXPECT_EQ(pargo::lookup_string(never_set, 7, &text), 0);
  EXPECT_EQ(pargo::lookup_io(never_set, &value, &text), 0);
  EXPECT_EQ(value, untouched);
  EXPECT_EQ(text, nullptr);
}

TEST(PargoApi, IoChannel) {
  const struct {
    const char* line;
    int kind;
    const char* parameter;
  } cases[] = {
      {"/io:stdio", 1, ""},
      {"/io:stdio:9", 1, ""},
      {"/io:pipe:kv4t.pipe", 2, "kv4t.pipe"},
      {"/io:pipe", 2, ""},
      {"/io:socket:5000", 3, "5000"},
      {"/io:socket", 3, "0"},
      {"/io:serial:COM1", 0, ""},
      {"/IO:Socket:0x10 /io:stdio", 3, "16"},
  };
  for (const auto& c : cases) {
    PRGO_SetArguments(c.line);
    int kind = untouched;
    char* parameter = nullptr;
    ASSERT_EQ(PRGO_LookupIoArg(&kind, &parameter), 1) << c.line;
    EXPECT_EQ(kind, c.kind) << c.line;
    ASSERT_NE(parameter, nullptr) << c.line;
    EXPECT_STREQ(parameter, c.parameter) << c.line;
    PRGO_FreeString(parameter);

    parameter = nullptr;
    EXPECT_EQ(PRGO_LookupIoArg(nullptr, &parameter), 1) << c.line;
    PRGO_FreeString(parameter);
  }
  PRGO_SetArguments("/port:1 /device:io");
  int kind = untouched;
  char* parameter = nullptr;
  EXPECT_EQ(PRGO_LookupIoArg(&kind, &parameter), 0);
  EXPECT_EQ(kind, untouched);
  EXPECT_EQ(parameter, nullptr);
}

TEST(PargoApi, NullOutputs) {
  PRGO_SetArguments("/port:5 /device:x /io:socket:1");
  // value may be null: the answer alone tells whether the switch was given.
  EXPECT_EQ(PRGO_LookupArgInt(7, nullptr), 1);
  EXPECT_EQ(PRGO_LookupArgBool(7, nullptr), 1);
  EXPECT_EQ(PRGO_LookupArgInt(8, nullptr), 0);
  // text and parameter must not be null: such a call finds nothing.
  EXPECT_EQ(PRGO_LookupArgString(7, nullptr), 0);
  EXPECT_EQ(PRGO_LookupArgString(24, nullptr), 0);
  int kind = untouched;
  EXPECT_EQ(PRGO_LookupIoArg(&kind, nullptr), 0);
  EXPECT_EQ(kind, untouched);
  PRGO_FreeString(nullptr);
}

TEST(PargoApi, TextsBelongToTheCallerUntilFreed) {
  PRGO_SetArguments("/read /silent /device:abc /port:7");
  // A switch without value answers the one constant empty text, which
  // PRGO_FreeString ignores (freeing it would be caught by the address sanitizer).
  char* first = nullptr;
  char* second = nullptr;
  ASSERT_EQ(PRGO_LookupArgString(2, &first), 1);
  ASSERT_EQ(PRGO_LookupArgString(22, &second), 1);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "");
  EXPECT_EQ(first, second);
  PRGO_FreeString(first);
  PRGO_FreeString(second);
  PRGO_FreeString(first);

  // Every other lookup hands out a fresh buffer that outlives the arguments.
  char* a = nullptr;
  char* b = nullptr;
  ASSERT_EQ(PRGO_LookupArgString(24, &a), 1);
  ASSERT_EQ(PRGO_LookupArgString(24, &b), 1);
  EXPECT_NE(a, b);
  PRGO_SetArguments("/device:other");
  EXPECT_STREQ(a, "abc");
  a[0] = 'X';
  EXPECT_STREQ(b, "abc");
  EXPECT_EQ(string_of(24), "other");
  PRGO_FreeString(a);
  PRGO_FreeString(b);
}

TEST(PargoApi, OutOfMemoryGivesNullTextButFound) {
  pargo::argument_list list;
  list.parse("/port:5 /device:x /read /io:pipe:p");
  auto no_memory = [](std::size_t) -> void* { return nullptr; };
  const struct {
    int key;
    bool null_text;
  } cases[] = {{7, true}, {24, true}, {2, false}};
  for (const auto& c : cases) {
    char* text = reinterpret_cast<char*>(&list);
    EXPECT_EQ(pargo::lookup_string(list, c.key, &text, no_memory), 1) << c.key;
    // Only the constant empty text needs no memory.
    EXPECT_EQ(text == nullptr, c.null_text) << c.key;
    pargo::free_text(text);
  }
  int kind = 0;
  char* parameter = reinterpret_cast<char*>(&list);
  EXPECT_EQ(pargo::lookup_io(list, &kind, &parameter, no_memory), 1);
  EXPECT_EQ(kind, 2);
  EXPECT_EQ(parameter, nullptr);
}

TEST(PargoApi, MegabyteLine) {
  std::string line;
  while (line.size() < (1u << 20)) line += "/x:1 \"a  b\" /nosuch ";
  line += "/port:77 /device:";
  line += std::string(1u << 20, 'd');
  PRGO_SetArguments(line.c_str());
  int value = 0;
  ASSERT_EQ(PRGO_LookupArgInt(7, &value), 1);
  EXPECT_EQ(value, 77);
  EXPECT_EQ(string_of(24).size(), 1u << 20);
  EXPECT_EQ(string_of(1), "a  b");
}

TEST(PargoApi, UsableFromC) { EXPECT_EQ(pargo_c_round_trip(), 0); }

}  // namespace
