#include <algorithm>
#include <cctype>
#include <iterator>

#include "cli/checks.h"
#include "cli/scan.h"
#include "common/baud_rates.h"
#include "common/text_format.h"
#include "device/settings_rules.h"

namespace {

namespace sr = settings_rules;

ScanProbe ProbeOf(const PortSettings& s) {
  return {s.baud, s.bytesize, s.parity, s.stopbits, s.address, s.alen};
}

constexpr int32_t kRavik = ToValue(Protocol::kRavik), kRtu = ToValue(Protocol::kModbusRtu),
                  kAscii = ToValue(Protocol::kModbusAscii);
const ScanProbe kFactory = ProbeOf(sr::ConverterFactorySettings());
// Rates by likelihood: the factory rate, the usual higher ones, then the rest.
constexpr int32_t kRates[] = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 14400, 28800};
constexpr std::size_t kCommonRates = 5;
const int32_t kCommonAddresses[] = {kFactory.address, 1, 0, 2};
constexpr std::size_t kCommonCount = kCommonRates * std::size(kCommonAddresses);
// The common Modbus units (not the broadcast 0), each in both framings at the
// framing's usual frame: RTU at 8-n-1, ASCII at 7-e-1.
const int32_t kCommonUnits[] = {kFactory.address, 1, 2};
constexpr std::size_t kCommonModbusCount = kCommonRates * 2 * std::size(kCommonUnits);
constexpr int32_t kNone = ToValue(Parity::kNone), kOdd = ToValue(Parity::kOdd),
                  kEven = ToValue(Parity::kEven);
constexpr int32_t kOne = ToValue(StopBits::kOne), kTwo = ToValue(StopBits::kTwo);
constexpr ScanFrame kRtuFrame{8, kNone, kOne}, kAsciiFrame{7, kEven, kOne};
// Frames by likelihood (word length, parity, stop bits): all but those the
// converter refuses (sr::IsRefusedFrame: 7-n-1, 8-o-2 and 8-e-2).
constexpr ScanFrame kFrames[] = {{8, kNone, kOne}, {8, kNone, kTwo}, {8, kEven, kOne},
                                 {8, kOdd, kOne},  {7, kEven, kOne}, {7, kOdd, kOne},
                                 {7, kNone, kTwo}, {7, kEven, kTwo}, {7, kOdd, kTwo}};

// Candidate steps: the given settings, the factory settings, the common ones (RAVIK,
// then Modbus), the sweeps.
constexpr std::size_t kFactoryStep = 1;
constexpr std::size_t kCommonStep = 2;
constexpr std::size_t kCommonModbusStep = kCommonStep + kCommonCount;
constexpr std::size_t kSweepStep = kCommonModbusStep + kCommonModbusCount;

// The longest answer delay the converter takes ("rs.dl").
constexpr int64_t kMaxAnswerDelayUs = sr::kMaxAnswerDelayMs * int64_t{1000};
// The identity read: a 4-byte header, two frame characters a byte, start, check
// and end characters around them; its answer carries up to 8 characters more.
constexpr int kRavikRequestChars = 2 * 4 + 6;
constexpr int kRavikAnswerChars = 2 * (4 + 8) + 6;
// The wake-up coil (function 5: unit, function, coil, value) and its
// acknowledgement, the same bytes: RTU with its 2-byte CRC, ASCII as ':', two
// hexadecimal characters a byte with the LRC byte, CR LF.
constexpr int kRtuCoilChars = 6 + 2;
constexpr int kAsciiCoilChars = 1 + 2 * (6 + 1) + 2;

bool IsModbus(const ScanProbe& p) { return p.proto != kRavik; }

bool FrameIs(const ScanProbe& p, const ScanFrame& f) {
  return p.bytesize == f.bits && p.parity == f.parity && p.stopbits == f.stop;
}

// Modbus RTU needs 8 data bits and ASCII 7: each framing at its own frames.
bool FramingSuits(const ScanProbe& p) {
  return p.proto == (p.bytesize == 8 ? kRtu : kAscii);
}

bool IsCommon(const ScanProbe& p) {
  if (std::find(kRates, kRates + kCommonRates, p.baud) == kRates + kCommonRates) return false;
  if (IsModbus(p))
    return p.alen == 8 && (FrameIs(p, kRtuFrame) || FrameIs(p, kAsciiFrame)) && FramingSuits(p) &&
           std::find(std::begin(kCommonUnits), std::end(kCommonUnits), p.address) !=
               std::end(kCommonUnits);
  // The common settings: the factory frame and address length.
  return p.alen == kFactory.alen && p.bytesize == kFactory.bytesize &&
         p.parity == kFactory.parity && p.stopbits == kFactory.stopbits &&
         std::find(std::begin(kCommonAddresses), std::end(kCommonAddresses), p.address) !=
             std::end(kCommonAddresses);
}

template <typename List, typename T>
bool Has(const List& list, const T& value) {
  return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

bool HasFrame(const std::vector<ScanFrame>& frames, const ScanProbe& p) {
  return std::any_of(frames.begin(), frames.end(), [&](const ScanFrame& f) { return FrameIs(p, f); });
}

// The plan's ranges within least..most, each address once, in the plan's order.
std::vector<AddressRange> Clip(const std::vector<AddressRange>& plan, int32_t least,
                               int32_t most) {
  std::vector<AddressRange> taken;
  for (AddressRange r : plan) {
    r.first = std::max(r.first, least);
    r.last = std::min(r.last, most);
    if (r.first > r.last) continue;
    // What earlier ranges took is left out.
    std::vector<AddressRange> pieces = {r};
    for (const AddressRange& t : taken) {
      std::vector<AddressRange> rest;
      for (const AddressRange& p : pieces) {
        if (t.last < p.first || t.first > p.last) {
          rest.push_back(p);
          continue;
        }
        if (p.first < t.first) rest.push_back({p.first, t.first - 1});
        if (p.last > t.last) rest.push_back({t.last + 1, p.last});
      }
      pieces = std::move(rest);
    }
    taken.insert(taken.end(), pieces.begin(), pieces.end());
  }
  return taken;
}

// The items of a comma-separated list, spaces around them dropped.
std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  auto flush = [&] {
    const auto first = item.find_first_not_of(' ');
    const auto last = item.find_last_not_of(' ');
    items.push_back(first == std::string::npos ? std::string() : item.substr(first, last - first + 1));
    item.clear();
  };
  for (char c : text) {
    if (c == ',') flush();
    else item.push_back(c);
  }
  flush();
  return items;
}

// A decimal number of up to 7 digits, nothing else.
bool Number(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 7) return false;
  value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

template <typename T>
void AddOnce(std::vector<T>& list, const T& value) {
  if (!Has(list, value)) list.push_back(value);
}

}  // namespace

std::string ParseScanRates(const std::string& text, std::vector<int32_t>& rates) {
  rates.clear();
  for (const std::string& item : Items(text)) {
    int32_t baud = 0;
    if (!Number(item, baud)) return Format("скорость \"%s\" не число", item.c_str());
    const std::string error = CheckStandardRate(baud);
    if (!error.empty()) return error;
    AddOnce(rates, baud);
  }
  return {};
}

std::string ParseScanFrames(const std::string& text, std::vector<ScanFrame>& frames) {
  frames.clear();
  for (const std::string& item : Items(text)) {
    std::string compact;
    for (char c : item)
      if (c != '-') compact.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    const std::string bad = Format("кадр \"%s\" не понят: нужны длина слова (7 или 8), чётность "
                                   "(n, o, e) и стоп-биты (1 или 2), например 8-n-1",
                                   item.c_str());
    if (compact.size() != 3) return bad;
    ScanFrame f{};
    if (compact[0] == '7') f.bits = 7;
    else if (compact[0] == '8') f.bits = 8;
    else return bad;
    if (compact[1] == 'n') f.parity = kNone;
    else if (compact[1] == 'o') f.parity = kOdd;
    else if (compact[1] == 'e') f.parity = kEven;
    else return bad;
    if (compact[2] == '1') f.stop = kOne;
    else if (compact[2] == '2') f.stop = kTwo;
    else return bad;
    if (sr::IsRefusedFrame(f.bits, f.parity, f.stop))
      return Format("кадр %s преобразователь не принимает (7-n-1, 8-o-2 и 8-e-2 не поддерживаются KV4T)",
                    item.c_str());
    AddOnce(frames, f);
  }
  return {};
}

std::string ParseScanAlens(const std::string& text, std::vector<int32_t>& alens) {
  alens.clear();
  for (const std::string& item : Items(text)) {
    int32_t alen = 0;
    if (!Number(item, alen) || (alen != 8 && alen != 11))
      return Format("длина адреса \"%s\": бывает 8 или 11", item.c_str());
    AddOnce(alens, alen);
  }
  return {};
}

std::string ParseScanAddresses(const std::string& text, std::vector<AddressRange>& ranges) {
  ranges.clear();
  for (const std::string& item : Items(text)) {
    const auto dash = item.find('-', 1);
    AddressRange r{};
    const bool parsed = dash == std::string::npos
                            ? Number(item, r.first) && Number(item, r.last)
                            : Number(item.substr(0, dash), r.first) &&
                                  Number(item.substr(dash + 1), r.last);
    if (!parsed)
      return Format("адреса \"%s\" не поняты: нужен адрес или диапазон, например 0-20", item.c_str());
    if (r.first > sr::kMaxAddress11 || r.last > sr::kMaxAddress11)
      return Format("адрес в \"%s\" больше %d, наибольшего адреса (11 бит)", item.c_str(),
                    sr::kMaxAddress11);
    if (r.first > r.last)
      return Format("диапазон адресов \"%s\" идёт в обратную сторону", item.c_str());
    ranges.push_back(r);
  }
  return {};
}

int32_t ScanOrder::Ranges::At(std::size_t i) const {
  for (const AddressRange& r : ranges) {
    const std::size_t n = static_cast<std::size_t>(r.last - r.first) + 1;
    if (i < n) return r.first + static_cast<int32_t>(i);
    i -= n;
  }
  return -1;
}

bool ScanOrder::Ranges::Has(int32_t address) const {
  return std::any_of(ranges.begin(), ranges.end(), [address](const AddressRange& r) {
    return address >= r.first && address <= r.last;
  });
}

ScanOrder::ScanOrder(const PortSettings& given, const ScanPlan& plan)
    : given_{given.baud,    given.bytesize, given.parity,
             given.stopbits, given.address, given.alen == 11 ? 11 : 8},
      rates_(plan.rates.empty() ? std::vector<int32_t>(std::begin(kRates), std::end(kRates))
                                : plan.rates),
      alens_(plan.alens.empty() ? std::vector<int32_t>{8, 11} : plan.alens),
      frames_(plan.frames.empty() ? std::vector<ScanFrame>(std::begin(kFrames), std::end(kFrames))
                                  : plan.frames),
      rates_narrowed_(!plan.rates.empty()),
      frames_narrowed_(!plan.frames.empty()),
      alens_narrowed_(!plan.alens.empty()),
      addresses_narrowed_(!plan.addresses.empty()),
      modbus_(plan.modbus) {
  const std::vector<AddressRange> all = {{0, sr::kMaxAddress11}};
  const std::vector<AddressRange>& wanted = addresses_narrowed_ ? plan.addresses : all;
  const bool with8 = Has(alens_, 8), with11 = Has(alens_, 11);
  if (with8) ravik8_.ranges = Clip(wanted, 0, sr::kMaxAddress8);
  if (with11) ravik11_.ranges = Clip(wanted, 0, sr::kMaxAddress11);
  if (with8 && modbus_) units_.ranges = Clip(wanted, 1, kMaxModbusUnit);
  for (Ranges* r : {&ravik8_, &ravik11_, &units_})
    for (const AddressRange& a : r->ranges) r->count += static_cast<std::size_t>(a.last - a.first) + 1;
  block8_ = with8 ? ravik8_.count + units_.count : 0;
  block11_ = with11 ? ravik11_.count : 0;
  const std::size_t settings = frames_.size() * rates_.size();
  sweep8_ = settings * block8_;
  sweep_ = sweep8_ + settings * block11_;
  end_step_ = kSweepStep + sweep_;

  // The channel refuses other line settings and would probe at the ones it had:
  // a converter answering there would be reported at settings it does not have.
  const bool usable = is_standard_baud_rate(given.baud) &&
                      (given.bytesize == 7 || given.bytesize == 8) && ParityOf(given.parity) &&
                      StopBitsOf(given.stopbits);
  given_probed_ = usable && Admits(given_);

  // The factory and common settings the plan admits are part of the sweeps; only
  // the given ones may lie outside them. A probe's floor depends on its kind,
  // frame and rate alone.
  size_ = sweep_;
  for (const ScanFrame& f : frames_)
    for (int32_t baud : rates_) {
      const ScanProbe ravik{baud, f.bits, f.parity, f.stop, 0, 8};
      ScanProbe modbus = ravik;
      modbus.proto = f.bits == 8 ? kRtu : kAscii;
      floor_us_ += ProbeFloorUs(ravik) *
                       static_cast<int64_t>((with8 ? ravik8_.count : 0) + block11_) +
                   ProbeFloorUs(modbus) * static_cast<int64_t>(units_.count);
    }
  if (given_probed_ && !InSweep(given_)) {
    ++size_;
    floor_us_ += ProbeFloorUs(given_);
  }
}

const ScanOrder::Ranges& ScanOrder::RangesOf(const ScanProbe& p) const {
  if (IsModbus(p)) return units_;
  return p.alen == 11 ? ravik11_ : ravik8_;
}

bool ScanOrder::Admits(const ScanProbe& p) const {
  if (rates_narrowed_ && !Has(rates_, p.baud)) return false;
  if (frames_narrowed_ && !HasFrame(frames_, p)) return false;
  if (alens_narrowed_ && !Has(alens_, p.alen)) return false;
  if (IsModbus(p)) return FramingSuits(p) && p.alen == 8 && units_.Has(p.address);
  return !addresses_narrowed_ || RangesOf(p).Has(p.address);
}

bool ScanOrder::InSweep(const ScanProbe& p) const {
  return Has(rates_, p.baud) && HasFrame(frames_, p) && Has(alens_, p.alen) &&
         (!IsModbus(p) || FramingSuits(p)) && RangesOf(p).Has(p.address);
}

ScanProbe ScanOrder::Candidate(std::size_t step) const {
  if (step == 0) return given_;
  if (step == kFactoryStep) return kFactory;
  if (step < kCommonModbusStep) {
    const std::size_t i = step - kCommonStep;
    const std::size_t per_rate = std::size(kCommonAddresses);
    return {kRates[i / per_rate], kFactory.bytesize, kFactory.parity, kFactory.stopbits,
            kCommonAddresses[i % per_rate], kFactory.alen};
  }
  if (step < kSweepStep) {
    const std::size_t i = step - kCommonModbusStep;
    const std::size_t units = std::size(kCommonUnits);
    const bool rtu = i / units % 2 == 0;
    const ScanFrame& f = rtu ? kRtuFrame : kAsciiFrame;
    return {kRates[i / (2 * units)], f.bits, f.parity, f.stop, kCommonUnits[i % units], 8,
            rtu ? kRtu : kAscii};
  }
  std::size_t i = step - kSweepStep;
  const std::size_t rates = rates_.size();
  for (int32_t alen : alens_) {
    const std::size_t block = alen == 8 ? block8_ : block11_;
    const std::size_t span = frames_.size() * rates * block;
    if (i >= span) {
      i -= span;
      continue;
    }
    const ScanFrame& f = frames_[i / (rates * block)];
    const int32_t baud = rates_[i / block % rates];
    std::size_t k = i % block;
    if (alen == 11) return {baud, f.bits, f.parity, f.stop, ravik11_.At(k), 11};
    if (k < ravik8_.count) return {baud, f.bits, f.parity, f.stop, ravik8_.At(k), 8};
    k -= ravik8_.count;
    return {baud, f.bits, f.parity, f.stop, units_.At(k), 8, f.bits == 8 ? kRtu : kAscii};
  }
  return given_;  // not reached: the steps end with the sweeps
}

// Within each stage the candidates differ from one another, the factory settings
// are the first common ones and the common ones the plan admits are in the
// sweeps: a candidate was probed before when the plan leaves it out, when it is
// the given settings or when it comes from an earlier stage.
bool ScanOrder::ProbedBefore(std::size_t step, const ScanProbe& p) const {
  if (step == 0) return !given_probed_;
  if (step < kSweepStep && !Admits(p)) return true;
  if (given_probed_ && p == given_) return true;
  if (step < kCommonModbusStep) return step > kFactoryStep && p == kFactory;
  if (step < kSweepStep) return false;
  return IsCommon(p);
}

ScanOrder::iterator ScanOrder::end() const { return iterator(this, end_step_); }

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
  for (; step_ < order_->end_step_; ++step_) {
    probe_ = order_->Candidate(step_);
    if (!order_->ProbedBefore(step_, probe_)) return;
  }
}

int64_t ProbeCharUs(const ScanProbe& p) {
  const int bits = 1 + p.bytesize + (p.parity != kNone ? 1 : 0) + (p.stopbits == kTwo ? 2 : 1);
  return (bits * 1000000LL + p.baud - 1) / p.baud;
}

int ProbeRequestChars(const ScanProbe& p) {
  if (p.proto == kRtu) return kRtuCoilChars;
  if (p.proto == kAscii) return kAsciiCoilChars;
  return kRavikRequestChars;
}

ProbeTiming ProbeTimingOf(const ScanProbe& p, int64_t latency_us) {
  const int64_t char_us = ProbeCharUs(p);
  // The channel has waited one character beyond the request before it reads: the
  // first byte of an answer is complete by then plus the latest start of the
  // answer and the adaptor's hold on it.
  const int64_t first_us = kMaxAnswerDelayUs + kConverterTurnaroundUs + std::max<int64_t>(0, latency_us);
  const uint32_t first_ms = static_cast<uint32_t>((first_us + 999) / 1000);
  const int answer_chars = IsModbus(p) ? ProbeRequestChars(p) : kRavikAnswerChars;
  // The rest of the answer follows its first byte without a pause; a
  // millisecond's slack for the computer's scheduling.
  const int64_t answer_us = first_ms * int64_t{1000} + answer_chars * char_us + 1000;
  const int64_t silent_us = (ProbeRequestChars(p) + 1) * char_us + first_ms * int64_t{1000};
  return {first_ms, answer_us, silent_us};
}

int64_t ProbeFloorUs(const ScanProbe& probe, int64_t latency_us) {
  return ProbeTimingOf(probe, latency_us).silent_us;
}
