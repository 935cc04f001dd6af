// The bus scan: the line settings and addresses at which a converter may answer,
// in order of likelihood, each probed once with the shortest wait the line
// allows: an identity read in RAVIK, and with Modbus probing the wake-up coil,
// which a converter left in Modbus acknowledges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "common/setting_values.h"
#include "settings/port_settings.h"

class ConverterDevice;

struct ScanProbe {
  int32_t baud, bytesize, parity, stopbits, address, alen;
  // The settings' numbering: RAVIK, or the Modbus framing whose wake-up coil is
  // written (RTU with 8-bit frames, ASCII with 7-bit ones; 8-bit units).
  int32_t proto = ToValue(Protocol::kRavik);
  friend bool operator==(const ScanProbe&, const ScanProbe&) = default;
};

// Word length, parity and stop bits as the settings hold them.
struct ScanFrame {
  int32_t bits, parity, stop;
  friend bool operator==(const ScanFrame&, const ScanFrame&) = default;
};

// first..last, both included.
struct AddressRange {
  int32_t first, last;
};

// What a scan covers. An empty list is not narrowed: every rate, every frame the
// converter takes, both address lengths, every address. A narrowed list holds
// every probe of the scan to it, the given settings' and the factory settings'
// too; the sweeps follow the list's order.
struct ScanPlan {
  std::vector<int32_t> rates{};
  std::vector<ScanFrame> frames{};
  std::vector<int32_t> alens{};
  std::vector<AddressRange> addresses{};
  // Modbus probes beside the RAVIK ones, at units 1..247 with 8-bit addresses.
  bool modbus = false;
};

// The highest Modbus unit; unit 0 is the broadcast, which nobody answers and
// every Modbus device obeys, so it is never probed.
inline constexpr int32_t kMaxModbusUnit = 247;

// The options' texts into a plan's lists: "19200,9600"; "8-n-1,7-e-1" (or
// "8n1"); "8,11"; "0-20,77,616". An empty text on success, else what is wrong
// (UTF-8): a rate that is not a standard one, a frame the converter refuses, an
// address outside every range, a range that runs backwards.
std::string ParseScanRates(const std::string& text, std::vector<int32_t>& rates);
std::string ParseScanFrames(const std::string& text, std::vector<ScanFrame>& frames);
std::string ParseScanAlens(const std::string& text, std::vector<int32_t>& alens);
std::string ParseScanAddresses(const std::string& text, std::vector<AddressRange>& ranges);

// The probes, without repeats: the given settings, the factory settings, the
// common rates at the common addresses (with Modbus probing, the common units in
// both framings), then full sweeps: at each frame and rate the 8-bit addresses,
// then (with Modbus probing) the units; then the 11-bit addresses. Without
// narrowing nearly 190,000 probes: they are made one at a time as the scan
// reaches them, and their number and total floor are counted without walking
// them, so that the first probe goes out at once.
class ScanOrder {
 public:
  explicit ScanOrder(const PortSettings& given, const ScanPlan& plan = {});

  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = ScanProbe;
    using difference_type = std::ptrdiff_t;
    using pointer = const ScanProbe*;
    using reference = const ScanProbe&;

    const ScanProbe& operator*() const { return probe_; }
    const ScanProbe* operator->() const { return &probe_; }
    iterator& operator++();
    iterator operator++(int) {
      iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const iterator& a, const iterator& b) { return a.step_ == b.step_; }

   private:
    friend class ScanOrder;
    iterator(const ScanOrder* order, std::size_t step);
    // Moves on from step_ to the first candidate not probed before (or the end).
    void Settle();
    const ScanOrder* order_;
    std::size_t step_;
    ScanProbe probe_{};
  };

  iterator begin() const { return iterator(this, 0); }
  iterator end() const;
  // How many probes the whole scan makes.
  std::size_t size() const { return size_; }
  // The sum of every probe's ProbeFloorUs behind an adaptor of this latency.
  int64_t floor_us(int64_t latency_us = 0) const {
    return floor_us_ + static_cast<int64_t>(size_) * latency_us;
  }

 private:
  struct Ranges {
    std::vector<AddressRange> ranges;  // disjoint, in the plan's order
    std::size_t count = 0;
    int32_t At(std::size_t i) const;
    bool Has(int32_t address) const;
  };
  // The candidates in order, repeats among them: step 0 the given settings, then
  // the factory settings, the common ones and the sweeps.
  ScanProbe Candidate(std::size_t step) const;
  bool ProbedBefore(std::size_t step, const ScanProbe& p) const;
  // Whether the plan lets the probe be made at all.
  bool Admits(const ScanProbe& p) const;
  bool InSweep(const ScanProbe& p) const;
  const Ranges& RangesOf(const ScanProbe& p) const;

  ScanProbe given_;
  bool given_probed_;  // usable line settings the plan admits
  std::vector<int32_t> rates_, alens_;
  std::vector<ScanFrame> frames_;
  bool rates_narrowed_, frames_narrowed_, alens_narrowed_, addresses_narrowed_;
  bool modbus_;
  Ranges ravik8_, ravik11_, units_;
  // The sweeps' blocks: at each frame and rate, the 8-bit block holds the 8-bit
  // addresses and the units, the 11-bit block the 11-bit addresses.
  std::size_t block8_ = 0, block11_ = 0, sweep8_ = 0, sweep_ = 0;
  std::size_t end_step_ = 0;
  std::size_t size_ = 0;
  int64_t floor_us_ = 0;
};

// What the scan takes of the line, besides the settings rules' longest answer
// delay: the converter begins its answer at most this long after its answer
// delay has passed.
inline constexpr int64_t kConverterTurnaroundUs = 2000;

// One character's time on the line at the probe's settings, rounded up.
int64_t ProbeCharUs(const ScanProbe& probe);
// Characters of the probe's request on the line: the identity read, or the
// wake-up coil in its framing.
int ProbeRequestChars(const ScanProbe& probe);

// How long a probe waits behind an adaptor that holds received bytes up to
// latency_us.
struct ProbeTiming {
  // The answer's first byte, from the moment the channel starts reading (it has
  // waited the request's characters and one more): the longest answer delay, the
  // turnaround and the latency, in whole milliseconds.
  uint32_t first_byte_ms;
  // The whole answer, from the same moment.
  int64_t answer_us;
  // A probe nobody answers: the request, one character and the first byte's wait.
  int64_t silent_us;
};
ProbeTiming ProbeTimingOf(const ScanProbe& probe, int64_t latency_us);
// The whole time of one unanswered probe on the line.
int64_t ProbeFloorUs(const ScanProbe& probe, int64_t latency_us = 0);

// One request at the probe's settings and address, one attempt, the probe's own
// bounds behind an adaptor of latency_us: an identity read, or the wake-up coil.
// True when it was answered as asked: a late answer from another address does not
// count. The port must be open; the channel's answer time and read pause are its
// own again afterwards.
bool ProbeOnce(ConverterDevice& device, const ScanProbe& probe, int64_t latency_us);
