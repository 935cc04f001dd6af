#include "cli/scan.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "link/ravik.h"

namespace {

constexpr int32_t kFactoryBaud = 9600;
constexpr int32_t kFactoryAddress = 16;
// Rates by likelihood: the factory rate, the usual higher ones, then the rest.
constexpr int32_t kRates[] = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 14400, 28800};
constexpr int kCommonRates = 5;
constexpr int32_t kCommonAddresses[] = {16, 1, 0, 2};
// Frames by likelihood (word length, parity, stop bits); the converter refuses
// 7-n-1, 8-o-2 and 8-e-2.
struct Frame {
  int32_t bits, parity, stop;
};
constexpr Frame kFrames[] = {{8, 0, 0}, {8, 0, 2}, {8, 2, 0}, {8, 1, 0}, {7, 2, 0},
                             {7, 1, 0}, {7, 0, 2}, {7, 2, 2}, {7, 1, 2}};
constexpr int32_t kMaxAddress8 = 254;
constexpr int32_t kMaxAddress11 = 2047;

// The longest answer delay the converter takes ("rs.dl", milliseconds).
constexpr int64_t kMaxAnswerDelayUs = 45000;
// The identity answer: a 4-byte header and up to 8 characters, two frame
// characters a byte, start, check and end characters around them.
constexpr int64_t kAnswerChars = 2 * (4 + 8) + 6;
constexpr int64_t kRequestChars = 2 * 4 + 6;
// Slack for the computer's and the converter's scheduling.
constexpr int64_t kMarginUs = 3000;

int64_t CharUs(const ScanProbe& p) {
  const int bits = 1 + p.bytesize + (p.parity ? 1 : 0) + (p.stopbits == 2 ? 2 : 1);
  return (bits * 1000000LL + p.baud - 1) / p.baud;
}

}  // namespace

std::vector<ScanProbe> ScanOrder(const PortSettings& given) {
  std::vector<ScanProbe> order;
  std::set<std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>> seen;
  auto add = [&](ScanProbe p) {
    if (seen.insert({p.baud, p.bytesize, p.parity, p.stopbits, p.address, p.alen}).second)
      order.push_back(p);
  };
  add({given.baud, given.bytesize, given.parity, given.stopbits, given.address,
       given.alen == 11 ? 11 : 8});
  add({kFactoryBaud, 8, 0, 0, kFactoryAddress, 8});
  for (int r = 0; r < kCommonRates; ++r)
    for (int32_t address : kCommonAddresses) add({kRates[r], 8, 0, 0, address, 8});
  for (int alen : {8, 11})
    for (const Frame& f : kFrames)
      for (int32_t baud : kRates)
        for (int32_t address = 0; address <= (alen == 8 ? kMaxAddress8 : kMaxAddress11); ++address)
          add({baud, f.bits, f.parity, f.stop, address, alen});
  return order;
}

int64_t ProbeAnswerUs(const ScanProbe& probe) {
  // Never longer than the channel's own answer time at that rate.
  const int64_t table = ravik_codec().timing(codec_timing_answer, probe.baud, 0, 0);
  return std::min(table, kMaxAnswerDelayUs + kAnswerChars * CharUs(probe) + kMarginUs);
}

int64_t ProbeFloorUs(const ScanProbe& probe) {
  return kRequestChars * CharUs(probe) + ProbeAnswerUs(probe);
}
