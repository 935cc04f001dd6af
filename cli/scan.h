// The bus scan: the line settings and addresses at which a converter may answer,
// in order of likelihood, each probed once with the shortest answer time the line
// allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "settings/port_settings.h"

struct ScanProbe {
  int32_t baud, bytesize, parity, stopbits, address, alen;
  friend bool operator==(const ScanProbe&, const ScanProbe&) = default;
};

// The probes, without repeats: the given settings, the factory settings, the
// common rates at the common addresses, then full sweeps (8-bit addresses at
// every rate and frame, then 11-bit ones). Nearly 190,000 probes: they are made
// one at a time as the scan reaches them, and their number and total floor are
// counted without walking them, so that the first probe goes out at once.
class ScanOrder {
 public:
  explicit ScanOrder(const PortSettings& given);

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
  // The sum of every probe's ProbeFloorUs.
  int64_t floor_us() const { return floor_us_; }

 private:
  // The candidates in order, repeats among them: step 0 the given settings, then
  // the factory settings, the common ones and the sweeps.
  ScanProbe Candidate(std::size_t step) const;
  bool ProbedBefore(std::size_t step, const ScanProbe& p) const;

  ScanProbe given_;
  bool given_usable_;  // line settings the channel can take
  std::size_t size_ = 0;
  int64_t floor_us_ = 0;
};

// Microseconds a probe waits for the answer at these line settings: the longest
// answer delay the converter can be set to and the longest identity answer.
int64_t ProbeAnswerUs(const ScanProbe& probe);
// The whole time of one probe on the line: the request sent and the answer time.
int64_t ProbeFloorUs(const ScanProbe& probe);
