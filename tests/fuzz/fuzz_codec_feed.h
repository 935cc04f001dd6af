// Drives a codec's feed with arbitrary bytes in arbitrary chunks and final flags,
// as a line and a channel could, and checks what must always hold: consumed stays
// within the input, a frame that checks re-encodes to a frame that checks with the
// same payload, and nothing reads past the input (ASan watches).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/frame_codec.h"

inline void fuzz_codec_feed(frame_codec& codec, frame_codec& twin, const uint8_t* data,
                            std::size_t size) {
  codec.reset();
  std::size_t pos = 0;
  while (pos < size) {
    // Each chunk: a control byte (length 0..63, final flag, an out-of-range final
    // now and then), then that many bytes.
    const uint8_t control = data[pos++];
    const std::size_t length = control & 0x3F;
    const int final = (control & 0xC0) == 0xC0 ? ((control & 1) ? 2 : -1) : (control >> 7);
    const std::size_t take = length < size - pos ? length : size - pos;
    // An exact-size copy, so a read past the chunk is caught.
    std::vector<uint8_t> chunk(data + pos, data + pos + take);
    pos += take;

    std::size_t offset = 0;
    do {
      std::vector<uint8_t> input(chunk.begin() + static_cast<std::ptrdiff_t>(offset), chunk.end());
      int consumed = -1;
      const feed_result result = codec.feed(final, input, consumed);
      if (consumed < 0 || static_cast<std::size_t>(consumed) > input.size()) std::abort();
      (void)codec.read_hint();
      if (result == feed_result::more) break;
      if (result == feed_result::frame_ok) {
        std::vector<uint8_t> payload;
        codec.take_payload(payload);
        std::vector<uint8_t> frame;
        if (codec.encode(payload, frame) < 0) std::abort();
        twin.reset();
        int twin_consumed = 0;
        if (twin.feed(0, frame, twin_consumed) != feed_result::frame_ok &&
            twin.feed(1, {}, twin_consumed) != feed_result::frame_ok) {
          std::abort();
        }
        std::vector<uint8_t> again;
        twin.take_payload(again);
        if (again != payload) std::abort();
      }
      codec.reset();
      if (result == feed_result::bad_argument || consumed == 0) break;
      offset += static_cast<std::size_t>(consumed);
    } while (offset < chunk.size());
  }
  int consumed = 0;
  codec.feed(1, {}, consumed);
}
