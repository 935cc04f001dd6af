#include <algorithm>
#include <iterator>

#include "cli/scan.h"
#include "common/baud_rates.h"
#include "common/setting_values.h"
#include "device/settings_rules.h"
#include "link/ravik.h"

namespace {

namespace sr = settings_rules;

ScanProbe ProbeOf(const PortSettings& s) {
  return {s.baud, s.bytesize, s.parity, s.stopbits, s.address, s.alen};
}

const ScanProbe kFactory = ProbeOf(sr::ConverterFactorySettings());
// Rates by likelihood: the factory rate, the usual higher ones, then the rest.
constexpr int32_t kRates[] = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 14400, 28800};
constexpr std::size_t kRateCount = std::size(kRates);
constexpr std::size_t kCommonRates = 5;
const int32_t kCommonAddresses[] = {kFactory.address, 1, 0, 2};
constexpr std::size_t kCommonCount = kCommonRates * std::size(kCommonAddresses);
// Frames by likelihood (word length, parity, stop bits): all but those the
// converter refuses (sr::IsRefusedFrame: 7-n-1, 8-o-2 and 8-e-2).
struct Frame {
  int32_t bits, parity, stop;
};
constexpr int32_t kNone = ToValue(Parity::kNone), kOdd = ToValue(Parity::kOdd),
                  kEven = ToValue(Parity::kEven);
constexpr int32_t kOne = ToValue(StopBits::kOne), kTwo = ToValue(StopBits::kTwo);
constexpr Frame kFrames[] = {{8, kNone, kOne}, {8, kNone, kTwo}, {8, kEven, kOne},
                             {8, kOdd, kOne},  {7, kEven, kOne}, {7, kOdd, kOne},
                             {7, kNone, kTwo}, {7, kEven, kTwo}, {7, kOdd, kTwo}};
constexpr std::size_t kFrameCount = std::size(kFrames);
constexpr std::size_t kAddresses8 = sr::kMaxAddress8 + 1;
constexpr std::size_t kAddresses11 = sr::kMaxAddress11 + 1;
// The sweeps: every frame, every rate, every address, 8-bit addresses first.
constexpr std::size_t kSweep8 = kFrameCount * kRateCount * kAddresses8;
constexpr std::size_t kSweep = kSweep8 + kFrameCount * kRateCount * kAddresses11;

// Candidate steps: the given settings, the factory settings, the common ones, the sweeps.
constexpr std::size_t kFactoryStep = 1;
constexpr std::size_t kCommonStep = 2;
constexpr std::size_t kSweepStep = kCommonStep + kCommonCount;
constexpr std::size_t kEndStep = kSweepStep + kSweep;

// The longest answer delay the converter takes ("rs.dl").
constexpr int64_t kMaxAnswerDelayUs = sr::kMaxAnswerDelayMs * int64_t{1000};
// The identity answer: a 4-byte header and up to 8 characters, two frame
// characters a byte, start, check and end characters around them.
constexpr int64_t kAnswerChars = 2 * (4 + 8) + 6;
constexpr int64_t kRequestChars = 2 * 4 + 6;
// Slack for the computer's and the converter's scheduling.
constexpr int64_t kMarginUs = 3000;

int64_t CharUs(const ScanProbe& p) {
  const int bits = 1 + p.bytesize + (p.parity != kNone ? 1 : 0) + (p.stopbits == kTwo ? 2 : 1);
  return (bits * 1000000LL + p.baud - 1) / p.baud;
}

bool IsCommon(const ScanProbe& p) {
  // The common settings: the factory frame and address length.
  return p.alen == kFactory.alen && p.bytesize == kFactory.bytesize &&
         p.parity == kFactory.parity && p.stopbits == kFactory.stopbits &&
         std::find(kRates, kRates + kCommonRates, p.baud) != kRates + kCommonRates &&
         std::find(std::begin(kCommonAddresses), std::end(kCommonAddresses), p.address) !=
             std::end(kCommonAddresses);
}

bool InSweep(const ScanProbe& p) {
  const bool frame = std::any_of(std::begin(kFrames), std::end(kFrames), [&](const Frame& f) {
    return f.bits == p.bytesize && f.parity == p.parity && f.stop == p.stopbits;
  });
  const bool rate = std::find(std::begin(kRates), std::end(kRates), p.baud) != std::end(kRates);
  return frame && rate && (p.alen == 8 || p.alen == 11) && p.address >= 0 &&
         p.address <= sr::MaxAddress(p.alen);
}

}  // namespace

ScanOrder::ScanOrder(const PortSettings& given)
    : given_{given.baud,    given.bytesize, given.parity,
             given.stopbits, given.address, given.alen == 11 ? 11 : 8},
      // The channel refuses other line settings and would probe at the ones it
      // had: a converter answering there would be reported at settings it does
      // not have.
      given_usable_(is_standard_baud_rate(given.baud) &&
                    (given.bytesize == 7 || given.bytesize == 8) && ParityOf(given.parity) &&
                    StopBitsOf(given.stopbits)) {
  // The factory and common settings are part of the sweeps; only the given ones
  // may lie outside them. A probe's floor depends on its frame and rate alone.
  size_ = kSweep;
  for (const Frame& f : kFrames)
    for (int32_t baud : kRates)
      floor_us_ += ProbeFloorUs({baud, f.bits, f.parity, f.stop, 0, 8}) *
                   static_cast<int64_t>(kAddresses8 + kAddresses11);
  if (given_usable_ && !InSweep(given_)) {
    ++size_;
    floor_us_ += ProbeFloorUs(given_);
  }
}

ScanProbe ScanOrder::Candidate(std::size_t step) const {
  if (step == 0) return given_;
  if (step == kFactoryStep) return kFactory;
  if (step < kSweepStep) {
    const std::size_t i = step - kCommonStep;
    const std::size_t per_rate = std::size(kCommonAddresses);
    return {kRates[i / per_rate], kFactory.bytesize, kFactory.parity, kFactory.stopbits,
            kCommonAddresses[i % per_rate], kFactory.alen};
  }
  std::size_t i = step - kSweepStep;
  int32_t alen = 8;
  std::size_t addresses = kAddresses8;
  if (i >= kSweep8) {
    i -= kSweep8;
    alen = 11;
    addresses = kAddresses11;
  }
  const Frame& f = kFrames[i / (kRateCount * addresses)];
  const int32_t baud = kRates[i / addresses % kRateCount];
  return {baud, f.bits, f.parity, f.stop, static_cast<int32_t>(i % addresses), alen};
}

// Within each stage the candidates differ from one another, the factory settings
// are the first common ones and the common ones are in the sweeps: a candidate
// was probed before when it is the given settings or comes from an earlier stage.
bool ScanOrder::ProbedBefore(std::size_t step, const ScanProbe& p) const {
  if (step == 0) return !given_usable_;
  if (given_usable_ && p == given_) return true;
  if (step < kSweepStep) return step > kFactoryStep && p == kFactory;
  return IsCommon(p);
}

ScanOrder::iterator ScanOrder::end() const { return iterator(this, kEndStep); }

ScanOrder::iterator::iterator(const ScanOrder* order, std::size_t step)
    : order_(order), step_(step) {
  Settle();
}

ScanOrder::iterator& ScanOrder::iterator::operator++() {
  ++step_;
  Settle();
  return *this;
}

void ScanOrder::iterator::Settle() {
  for (; step_ < kEndStep; ++step_) {
    probe_ = order_->Candidate(step_);
    if (!order_->ProbedBefore(step_, probe_)) return;
  }
}

int64_t ProbeAnswerUs(const ScanProbe& probe) {
  // Never longer than the channel's own answer time at that rate.
  const int64_t table = ravik_codec().timing(codec_timing_answer, probe.baud, 0, 0);
  return std::min(table, kMaxAnswerDelayUs + kAnswerChars * CharUs(probe) + kMarginUs);
}

int64_t ProbeFloorUs(const ScanProbe& probe) {
  return kRequestChars * CharUs(probe) + ProbeAnswerUs(probe);
}
