// Shared by the codec tests: wire bytes written as text or as byte values, tables
// of feed calls with what each must answer, and a line that never ends a frame.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/frame_codec.h"

using bytes = std::vector<uint8_t>;

inline bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

// Bytes on the wire, written as text ("#GH", frame + "#GH") or as byte values
// ({0x01, 0x03}, a bytes variable).
struct wire : bytes {
  wire() = default;
  wire(const char* s) : bytes(s, s + std::strlen(s)) {}
  wire(const std::string& s) : bytes(s.begin(), s.end()) {}
  wire(const bytes& b) : bytes(b) {}
  wire(std::initializer_list<uint8_t> b) : bytes(b) {}
};

// One feed call: the bytes, final, and what must come back.
struct feed_step {
  wire input;
  int final;
  feed_result result;
  int consumed;
};

struct feed_case {
  const char* what;
  std::vector<feed_step> steps;
  bytes payload;  // checked after frame_ok
};

// Runs each case on a reset codec, step by step.
inline void run_feed_cases(frame_codec& codec, const std::vector<feed_case>& cases) {
  for (const feed_case& c : cases) {
    codec.reset();
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const feed_step& s = c.steps[i];
      int consumed = -1;
      EXPECT_EQ(codec.feed(s.final, s.input, consumed), s.result) << c.what << ", step " << i;
      EXPECT_EQ(consumed, s.consumed) << c.what << ", step " << i;
      if (s.result == feed_result::frame_ok) {
        bytes payload = {0xEE};
        codec.take_payload(payload);
        EXPECT_EQ(payload, c.payload) << c.what;
      }
    }
  }
}

// Feeds first, then chunk again and again while the codec asks for more, up to
// 200000 bytes; the last result, and in fed how many bytes went in.
inline feed_result feed_endlessly(frame_codec& codec, const bytes& first, const bytes& chunk,
                                  std::size_t& fed) {
  codec.reset();
  int consumed = 0;
  feed_result result = codec.feed(0, first, consumed);
  fed = first.size();
  while (result == feed_result::more && fed < 200000) {
    result = codec.feed(0, chunk, consumed);
    fed += chunk.size();
  }
  return result;
}
