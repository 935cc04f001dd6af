// The simulator's state file reader against arbitrary text: whatever it accepts, it
// must write back in a form it reads again to the same state.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kv4t::sim;
  Engine engine{Options{}};
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (!engine.load_state(text, &error)) return 0;
  const std::string once = engine.state_json();
  Engine again{Options{}};
  if (!again.load_state(once, &error) || again.state_json() != once) std::abort();
  return 0;
}
