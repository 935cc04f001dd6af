// LoadConfigFile's reader on arbitrary bytes: never a crash, hang or huge
// allocation; a file that fails leaves the object as it was, and one that loads
// saves back to bytes that load to the same record.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "settings/converter_settings.h"

namespace {

std::vector<uint8_t> Saved(ConverterSettings& d) {
  Archive ar;
  ar.WriteString("KV4TCFG1");
  d.Serialize(ar);
  return ar.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConverterSettings d;
  std::vector<uint8_t> before = Saved(d);
  int result = d.LoadConfigData(data, size);
  if (result != 0 && result != 200) std::abort();
  std::vector<uint8_t> after = Saved(d);
  if (result == 200) {
    if (after != before) std::abort();
    return 0;
  }
  ConverterSettings again;
  if (again.LoadConfigData(after.data(), after.size()) != 0) std::abort();
  if (Saved(again) != after) std::abort();
  return 0;
}
