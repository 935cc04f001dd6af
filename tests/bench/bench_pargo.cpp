// The argument library on megabyte command lines of several shapes: parse time
// (PRGO_SetArguments) and the longest lookup (a key that is not there).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "pargo/pargo.h"

namespace {

constexpr std::size_t line_size = 1 << 20;

std::string repeat(const std::string& piece) {
  std::string line;
  line.reserve(line_size + piece.size());
  while (line.size() < line_size) line += piece;
  return line;
}

std::string line_of_shape(int shape) {
  switch (shape) {
    case 0:  // the switches a script writes
      return repeat("/PORT:0x10 /bps:9600 /prty:even /device:\"My box\" /autoread:on cfg.kv4t ");
    case 1:  // nothing but slashes: one argument per byte
      return std::string(line_size, '/');
    case 2:  // one word of a megabyte
      return std::string(line_size, 'a');
    case 3:  // quotes and backslashes
      return repeat("\"a b\\\" c\"\\\\ ");
    default: {  // pseudo-random bytes without NUL
      std::string line(line_size, ' ');
      std::uint32_t x = 12345;
      for (char& c : line) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(((x >> 16) % 255) + 1);
      }
      return line;
    }
  }
}

const char* const shape_names[] = {"switches", "slashes", "one_word", "quotes", "random"};

void BM_SetArguments(benchmark::State& state) {
  const std::string line = line_of_shape(static_cast<int>(state.range(0)));
  state.SetLabel(shape_names[state.range(0)]);
  for (auto _ : state) {
    PRGO_SetArguments(line.c_str());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(line.size()));
  PRGO_SetArguments(nullptr);
}
BENCHMARK(BM_SetArguments)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_LookupMissingKey(benchmark::State& state) {
  const std::string line = line_of_shape(static_cast<int>(state.range(0)));
  state.SetLabel(shape_names[state.range(0)]);
  PRGO_SetArguments(line.c_str());
  for (auto _ : state) {
    int value = 0;
    benchmark::DoNotOptimize(PRGO_LookupArgInt(33, &value));
  }
  PRGO_SetArguments(nullptr);
}
BENCHMARK(BM_LookupMissingKey)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
