// The simulated converter's request parser against arbitrary bytes on the line: the
// first bytes choose the protocol, address length and faults; the rest arrives in
// chunks with quiet moments between them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kv4t::sim;
  if (size < 2) return 0;
  Options o;
  o.protocol = static_cast<Protocol>(data[0] % 3);
  o.alen = (data[0] & 0x04) ? 11 : 8;
  o.address = (data[0] & 0x04) ? 0x123 : 16;
  o.line.bits = (data[0] & 0x08) ? 7 : 8;
  o.faults.noise_bytes = (data[0] & 0x10) ? 2 : 0;
  o.faults.truncate_bytes = (data[0] & 0x20) ? 3 : 0;
  o.faults.bad_check = (data[0] & 0x40) != 0;
  o.faults.request_flag = (data[0] & 0x80) != 0;
  o.faults.skip_requests = data[1] & 0x03;
  Engine engine(o);
  std::vector<Reply> out;
  std::int64_t now = 0;
  std::size_t pos = 2;
  while (pos < size) {
    // A chunk: its length from one byte, then that many bytes.
    const std::size_t n = data[pos++] % 48;
    const std::size_t take = n < size - pos ? n : size - pos;
    engine.receive(data + pos, take, now, out);
    pos += take;
    now += (take * 1000) + ((pos & 1) ? 30000 : 100);
    engine.idle(now, out);
    for (const Reply& r : out)
      if (r.data.size() > 1024) std::abort();
    out.clear();
  }
  (void)engine.state_json();
  return 0;
}
