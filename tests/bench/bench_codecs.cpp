// Frame codecs and the diagnostic log: the cost of framing and checking one
// request or answer, beside the milliseconds the line itself takes.
#include <benchmark/benchmark.h>

#include <vector>

#include "link/diag_log.h"
#include "link/modbus_ascii.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"

namespace {

using bytes = std::vector<uint8_t>;

// Encodes a payload of the given size and feeds the frame back in one piece.
template <class Codec>
void round_trip(benchmark::State& state) {
  Codec codec;
  bytes payload(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7 + 1);
  payload[1] = 0x41;  // a Modbus function of unknown length: the whole frame is checked at the end
  bytes frame;
  bytes out;
  for (auto _ : state) {
    frame.clear();
    codec.encode(payload, frame);
    codec.reset();
    int consumed = 0;
    feed_result r = codec.feed(0, frame, consumed);
    if (r == feed_result::more) r = codec.feed(1, {}, consumed);
    codec.take_payload(out);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(frame.size()));
}

BENCHMARK_TEMPLATE(round_trip, ravik_codec)->Arg(5)->Arg(19);
BENCHMARK_TEMPLATE(round_trip, modbus_rtu_codec)->Arg(6)->Arg(253);
BENCHMARK_TEMPLATE(round_trip, modbus_ascii_codec)->Arg(6)->Arg(253);

// The channel's way with an RTU answer: one byte at a time until the length is
// known, then the rest.
void rtu_answer_by_hint(benchmark::State& state) {
  modbus_rtu_codec codec;
  const bytes frame = {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32};
  bytes out;
  for (auto _ : state) {
    codec.reset();
    std::size_t pos = 0;
    feed_result r = feed_result::more;
    while (r == feed_result::more && pos < frame.size()) {
      const int hint = codec.read_hint();
      const std::size_t n = hint > 0 ? static_cast<std::size_t>(hint) : 1;
      const bytes part(frame.begin() + static_cast<std::ptrdiff_t>(pos),
                       frame.begin() + static_cast<std::ptrdiff_t>(pos + n));
      int consumed = 0;
      r = codec.feed(0, part, consumed);
      pos += n;
    }
    codec.take_payload(out);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(rtu_answer_by_hint);

void parameter_identifier(benchmark::State& state) {
  const char* names[] = {"dev", "ver", "BPS", "PrOt", "A.Len", "rs.dl", "APLY"};
  for (auto _ : state) {
    for (const char* name : names) benchmark::DoNotOptimize(ravik_hash(name, nullptr));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 7);
}
BENCHMARK(parameter_identifier);

// One channel-style log line, into a sink that drops it (the list would grow).
void log_line(benchmark::State& state) {
  diag_log_sink([](void*, const char*) {}, nullptr);
  for (auto _ : state) {
    diag_log(1, "serio(%s): передача блока заняла %u мкс\r\n", "COM1", 12345u);
  }
  diag_log_sink(nullptr, nullptr);
}
BENCHMARK(log_line)->Threads(1)->Threads(2);

}  // namespace

BENCHMARK_MAIN();
