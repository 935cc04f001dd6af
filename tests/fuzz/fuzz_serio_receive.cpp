// The serial channel's reception against arbitrary line traffic: answers made of
// fuzzed bytes arriving at fuzzed instants, through each codec and switching mode,
// on the port layer of make-believe whose clock moves only with the channel. The
// channel must end every transaction with a known status, in bounded virtual time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../serio/fake_port.h"
#include "link/modbus_ascii.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "link/serio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  fake().reset();
  fake().counter_step = 20000;  // coarser clock: fewer turns of the busy waits
  serio channel;
  if (!channel.open(L"COM1")) std::abort();
  ravik_codec ravik;
  modbus_rtu_codec rtu;
  modbus_ascii_codec ascii;
  frame_codec* codecs[] = {&ravik, &rtu, &ascii};
  channel.codec = codecs[data[0] % 3];
  channel.set_line_control((data[0] >> 2) % 3);
  static const int rates[] = {2400, 9600, 115200};
  channel.set_params(rates[(data[0] >> 4) % 3], 8, 0, 0);
  channel.set_turnaround((data[1] & 1) ? 10000 : 0);
  if (data[1] & 2) channel.answer_override = 20000;

  // The rest: [delay in ms][length][bytes] ... arriving one after another.
  int64_t at = fake().clock;
  for (std::size_t i = 2; i + 1 < size;) {
    at += static_cast<int64_t>(data[i]) * fake_ms;
    std::size_t n = data[i + 1];
    i += 2;
    if (n > size - i) n = size - i;
    fake().incoming.push_back({at, std::vector<uint8_t>(data + i, data + i + n)});
    i += n;
  }

  const std::vector<uint8_t> request{16, 3, 0, 0, 0, 1};
  for (int round = 0; round < 2; ++round) {
    std::vector<uint8_t> answer;
    const int64_t start = fake().clock;
    const bool ok = channel.transact(request, answer, true);
    switch (channel.status()) {
      case serio_ok:
      case serio_answer_timeout:
      case serio_no_answer:
      case serio_bad_checksum:
      case serio_receive_error:
      case serio_bad_frame:
        break;
      default:
        std::abort();
    }
    if (ok != (channel.status() == serio_ok)) std::abort();
    // Two seconds of answer time, the pause and a frame at 2400 baud at most,
    // plus what a stream of bytes arriving within the deadline can add.
    if (fake().clock - start > 10000 * fake_ms) std::abort();
    if (channel.rts_margin() < 100 || channel.rts_margin() > 400) std::abort();
  }
  return 0;
}
