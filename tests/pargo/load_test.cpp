// The built library loaded by its file name at run time and driven only through
// its six exported names, as a program that imports them sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "loader.h"

namespace {

using set_arguments_fn = void (*)(const char*);
using lookup_number_fn = int (*)(int, int*);
using lookup_string_fn = int (*)(int, char**);
using lookup_io_fn = int (*)(int*, char**);
using free_string_fn = void (*)(char*);

const char* const exported_names[] = {
    "PRGO_SetArguments", "PRGO_LookupArgString", "PRGO_LookupArgInt",
    "PRGO_LookupArgBool", "PRGO_LookupIoArg",    "PRGO_FreeString",
};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

template <class F>
F as(pargo_test::any_function f) {
  return reinterpret_cast<F>(f);
}

TEST(PargoLoad, ExportsTheSixNamesUndecorated) {
  pargo_test::shared_library library(PARGO_LIBRARY_NAME);
  ASSERT_TRUE(library.loaded()) << PARGO_LIBRARY_NAME << ": " << library.error();

  std::string file = lower(library.file_name());
  std::string name = lower(PARGO_LIBRARY_NAME);
  ASSERT_GE(file.size(), name.size()) << file;
  EXPECT_EQ(file.substr(file.size() - name.size()), name) << file;

  for (const char* exported : exported_names) {
    EXPECT_NE(library.symbol(exported), nullptr) << exported;
    // Neither C++ linkage nor a calling-convention decoration.
    const std::string decorated[] = {
        std::string("_") + exported,
        std::string(exported) + "@4",
        std::string(exported) + "@8",
        std::string("_Z") + std::to_string(std::strlen(exported)) + exported + "Pc",
    };
    for (const auto& d : decorated) EXPECT_EQ(library.symbol(d.c_str()), nullptr) << d;
  }
  // The parser inside stays private.
  EXPECT_EQ(library.symbol("_ZN5pargo11read_numberESt17basic_string_viewIcSt11char_traitsIcEE"), nullptr);
}

TEST(PargoLoad, ParsesAndAnswersThroughTheExports) {
  pargo_test::shared_library library(PARGO_LIBRARY_NAME);
  ASSERT_TRUE(library.loaded()) << library.error();
  auto set_arguments = as<set_arguments_fn>(library.symbol("PRGO_SetArguments"));
  auto lookup_int = as<lookup_number_fn>(library.symbol("PRGO_LookupArgInt"));
  auto lookup_bool = as<lookup_number_fn>(library.symbol("PRGO_LookupArgBool"));
  auto lookup_string = as<lookup_string_fn>(library.symbol("PRGO_LookupArgString"));
  auto lookup_io = as<lookup_io_fn>(library.symbol("PRGO_LookupIoArg"));
  auto free_string = as<free_string_fn>(library.symbol("PRGO_FreeString"));
  ASSERT_TRUE(set_arguments && lookup_int && lookup_bool && lookup_string && lookup_io && free_string);

  set_arguments("/PORT:0x10 /bps:9600 /autoread:on /device:\"My box\" /read /io:socket:5000 cfg.kv4t /nosuch:1");

  int value = 0;
  EXPECT_EQ(lookup_int(7, &value), 1);
  EXPECT_EQ(value, 16);
  EXPECT_EQ(lookup_int(8, &value), 1);
  EXPECT_EQ(value, 9600);
  EXPECT_EQ(lookup_bool(20, &value), 1);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(lookup_int(1, &value), 0);
  EXPECT_EQ(lookup_int(0, &value), 0);

  char* text = nullptr;
  ASSERT_EQ(lookup_string(24, &text), 1);
  EXPECT_STREQ(text, "My box");
  free_string(text);
  ASSERT_EQ(lookup_string(1, &text), 1);
  EXPECT_STREQ(text, "cfg.kv4t");
  free_string(text);
  ASSERT_EQ(lookup_string(2, &text), 1);
  EXPECT_STREQ(text, "");
  free_string(text);
  EXPECT_EQ(lookup_string(7, nullptr), 0);

  int kind = 0;
  ASSERT_EQ(lookup_io(&kind, &text), 1);
  EXPECT_EQ(kind, 3);
  EXPECT_STREQ(text, "5000");
  free_string(text);
  free_string(nullptr);

  set_arguments(nullptr);
  EXPECT_EQ(lookup_int(7, &value), 0);
}

}  // namespace
