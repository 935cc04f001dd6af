// Arbitrary bytes as a command line handed to the argument library, then every
// lookup with keys in and out of the table, every text given back. The parse of
// the core must agree with what the exported functions answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pargo/args.h"
#include "pargo/pargo.h"

namespace {

bool has_key(const pargo::argument_list& list, int key, bool numeric_only) {
  if (key == 0) return false;
  for (const auto& arg : list.arguments()) {
    if (arg.key == key && !(numeric_only && arg.type == pargo::value_string)) return true;
  }
  return false;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The library takes a C string: the line ends at the first NUL byte.
  std::string line(reinterpret_cast<const char*>(data), size);
  PRGO_SetArguments(line.c_str());

  pargo::argument_list list;
  list.parse(std::string_view(line.c_str()));
  check(list.tokens().size() == list.arguments().size());
  std::size_t token_bytes = 0;
  for (auto token : list.tokens()) {
    check(!token.empty());
    token_bytes += token.size();
  }
  check(token_bytes <= std::strlen(line.c_str()));

  for (int key = -1; key <= 36; ++key) {
    int value = 0;
    check(PRGO_LookupArgInt(key, &value) == (has_key(list, key, true) ? 1 : 0));
    check(PRGO_LookupArgBool(key, &value) == (has_key(list, key, true) ? 1 : 0));
    check(value == 0 || value == 1 || !has_key(list, key, true));
    PRGO_LookupArgInt(key, nullptr);
    PRGO_LookupArgBool(key, nullptr);

    char* text = nullptr;
    int found = PRGO_LookupArgString(key, &text);
    check(found == (has_key(list, key, false) ? 1 : 0));
    if (found == 1 && text != nullptr) {
      check(std::strlen(text) <= line.size());
      PRGO_FreeString(text);
    }
    check(PRGO_LookupArgString(key, nullptr) == 0);
  }

  int kind = -1;
  char* parameter = nullptr;
  if (PRGO_LookupIoArg(&kind, &parameter) == 1) {
    check(kind >= 0 && kind <= 3);
    check(parameter != nullptr);
    check(std::strlen(parameter) <= line.size());
    PRGO_FreeString(parameter);
  }
  parameter = nullptr;
  if (PRGO_LookupIoArg(nullptr, &parameter) == 1) PRGO_FreeString(parameter);
  check(PRGO_LookupIoArg(&kind, nullptr) == 0);
  PRGO_FreeString(nullptr);
  return 0;
}
