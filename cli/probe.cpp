#include "cli/probe.h"

#include <vector>

#include "link/ravik.h"
#include "link/serio.h"

bool ProbeOnce(ConverterDevice& device, const ScanProbe& probe) {
  serio& channel = *device.channel;
  channel.codec = device.ravik.get();
  // Refused settings would leave the last ones in force: a probe there is no probe.
  if (!channel.set_params(probe.baud, probe.bytesize, probe.parity, probe.stopbits))
    return false;
  channel.set_line_control(device.LinkSet().adaptor);
  std::vector<uint8_t> request;
  if (!ravik_make_request(request, true, probe.alen == 11, probe.address,
                          ravik_hash("dev", nullptr)))
    return false;
  const uint32_t pause_ms = channel.read_pause_ms;
  channel.answer_override = ProbeAnswerUs(probe);
  channel.read_pause_ms = 0;
  std::vector<uint8_t> answer;
  // A probe is a read: no answer equals it, so it may teach the channel the echo.
  if (channel.echo() == serio_echo::unknown) channel.learn_echo = true;
  const bool ok = channel.transact(request, answer, true);
  channel.answer_override = 0;
  channel.read_pause_ms = pause_ms;
  return ok && answer.size() >= ravik_header_bytes && !(answer[1] & ravik_request_flag) &&
         answer[0] == request[0] && (answer[1] & 0xE0) == (request[1] & 0xE0);
}
