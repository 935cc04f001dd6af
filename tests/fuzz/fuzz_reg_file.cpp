// The file store's .reg reader on arbitrary text: never a crash or hang, and what
// it writes reads back to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/file_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FileStore first;
  first.ParseText(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string text = first.FormatText();
  FileStore second;
  second.ParseText(text);
  if (second.FormatText() != text) std::abort();
  return 0;
}
