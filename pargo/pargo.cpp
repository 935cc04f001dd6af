// The six exported functions. Nothing may escape them as an exception: the callers
// are C programs, so every failure becomes one of the documented answers.
#include "pargo/pargo.h"

#include <string_view>

#include "pargo/args.h"
#include "pargo/lookup.h"

namespace {

// One argument list per process, for as long as the library is loaded.
pargo::argument_list& arguments() {
  static pargo::argument_list list;
  return list;
}

}  // namespace

extern "C" {

PRGO_API void PRGO_SetArguments(const char* command_line) {
  try {
    arguments().parse(command_line != nullptr ? std::string_view(command_line) : std::string_view());
  } catch (...) {
    // Out of memory: the list stays empty, so every lookup answers "not found".
    arguments().reset();
  }
}

PRGO_API int PRGO_LookupArgInt(int key, int* value) {
  return pargo::lookup_int(arguments(), key, value);
}

PRGO_API int PRGO_LookupArgBool(int key, int* value) {
  return pargo::lookup_bool(arguments(), key, value);
}

PRGO_API int PRGO_LookupArgString(int key, char** text) {
  return pargo::lookup_string(arguments(), key, text);
}

PRGO_API int PRGO_LookupIoArg(int* io_kind, char** parameter) {
  return pargo::lookup_io(arguments(), io_kind, parameter);
}

PRGO_API void PRGO_FreeString(char* text) {
  pargo::free_text(text);
}

}  // extern "C"
