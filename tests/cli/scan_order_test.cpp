// The scan's order of probes, made one at a time, against the order built whole
// through a set of the probes seen: the same probes in the same order, each once;
// its count and total floor as a walk through it sums them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "cli/scan.h"
#include "device/settings_rules.h"

namespace {

// The order built whole: every candidate in turn, a repeat dropped.
std::vector<ScanProbe> WholeOrder(const PortSettings& given) {
  constexpr int32_t rates[] = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 14400, 28800};
  constexpr int32_t common_addresses[] = {16, 1, 0, 2};
  constexpr int32_t frames[][3] = {{8, 0, 0}, {8, 0, 2}, {8, 2, 0}, {8, 1, 0}, {7, 2, 0},
                                   {7, 1, 0}, {7, 0, 2}, {7, 2, 2}, {7, 1, 2}};
  std::vector<ScanProbe> order;
  std::set<std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>> seen;
  auto add = [&](ScanProbe p) {
    if (seen.insert({p.baud, p.bytesize, p.parity, p.stopbits, p.address, p.alen}).second)
      order.push_back(p);
  };
  add({given.baud, given.bytesize, given.parity, given.stopbits, given.address,
       given.alen == 11 ? 11 : 8});
  add({9600, 8, 0, 0, 16, 8});
  for (int r = 0; r < 5; ++r)
    for (int32_t address : common_addresses) add({rates[r], 8, 0, 0, address, 8});
  for (int alen : {8, 11})
    for (const auto& f : frames)
      for (int32_t baud : rates)
        for (int32_t address = 0; address <= (alen == 8 ? 254 : 2047); ++address)
          add({baud, f[0], f[1], f[2], address, alen});
  return order;
}

PortSettings Given(int32_t baud, int32_t bits, int32_t parity, int32_t stop, int32_t address,
                   int32_t alen = 8) {
  return {.baud = baud, .bytesize = bits, .parity = parity, .stopbits = stop,
          .address = address, .alen = alen};
}
const PortSettings kFactory = Given(9600, 8, 0, 0, 16);

struct GivenCase {
  const char* name;
  PortSettings given;
};

TEST(ScanOrder, MatchesTheOrderBuiltWhole) {
  const GivenCase cases[] = {
      {"factory", kFactory},
      {"common rate and address", Given(38400, 8, 0, 0, 2)},
      {"swept", Given(28800, 7, 1, 2, 200)},
      {"11-bit", Given(4800, 8, 0, 0, 2000, 11)},
      {"11-bit address in the 8-bit range", Given(9600, 8, 0, 0, 16, 11)},
      {"8-bit address 300", Given(57600, 8, 0, 0, 300)},
      {"address 255", Given(9600, 8, 0, 0, 255)},
      {"frame 7-n-1", Given(19200, 7, 0, 0, 16)},
      {"frame 8-e-2", Given(2400, 8, 2, 2, 1)},
      {"odd address length", Given(115200, 8, 0, 0, 5, 9)},
  };
  for (const GivenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ScanProbe> whole = WholeOrder(c.given);
    const ScanOrder order(c.given);
    std::vector<ScanProbe> lazy;
    int64_t floor_us = 0;
    for (const ScanProbe& p : order) {
      lazy.push_back(p);
      floor_us += ProbeFloorUs(p);
    }
    ASSERT_EQ(lazy.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i)
      ASSERT_EQ(lazy[i], whole[i]) << "probe " << i;
    EXPECT_EQ(order.size(), whole.size());
    EXPECT_EQ(order.floor_us(), floor_us);
    EXPECT_EQ(lazy.front().address, c.given.address);
  }
}

// Line settings the channel refuses would be probed at whatever it had before:
// such given settings are left out, the rest of the order stays.
TEST(ScanOrder, LeavesOutGivenSettingsTheLineCannotTake) {
  const PortSettings refused[] = {Given(1200, 8, 0, 0, 16), Given(0, 8, 0, 0, 16),
                                  Given(-9600, 8, 0, 0, 16),  Given(9600, 6, 0, 0, 16),
                                  Given(9600, 8, 3, 0, 16),   Given(9600, 8, 0, 1, 16)};
  const std::vector<ScanProbe> factory = WholeOrder(kFactory);
  for (const PortSettings& given : refused) {
    SCOPED_TRACE(DescribePortSettings(given));
    const ScanOrder order(given);
    std::vector<ScanProbe> lazy(order.begin(), order.end());
    EXPECT_EQ(lazy, factory);
    EXPECT_EQ(order.size(), factory.size());
    EXPECT_EQ(order.floor_us(), ScanOrder(kFactory).floor_us());
  }
}

// The sweeps try every frame but those the converter refuses, and only at the
// addresses the pages allow.
TEST(ScanOrder, SweepsEveryFrameTheConverterTakes) {
  std::set<std::tuple<int32_t, int32_t, int32_t>> expected, swept;
  for (int32_t bits : {7, 8})
    for (int32_t parity : {0, 1, 2})
      for (int32_t stop : {0, 2})
        if (!settings_rules::IsRefusedFrame(bits, parity, stop)) expected.insert({bits, parity, stop});
  int32_t highest8 = -1, highest11 = -1;
  for (const ScanProbe& p : ScanOrder(kFactory)) {
    swept.insert({p.bytesize, p.parity, p.stopbits});
    int32_t& highest = p.alen == 11 ? highest11 : highest8;
    highest = std::max(highest, p.address);
  }
  EXPECT_EQ(swept, expected);
  EXPECT_EQ(highest8, settings_rules::MaxAddress(8));
  EXPECT_EQ(highest11, settings_rules::MaxAddress(11));
}

// A narrowed plan, built whole: every candidate the plan admits, in the stages'
// order, a repeat dropped.
std::vector<ScanProbe> WholeOrder(const PortSettings& given, const ScanPlan& plan) {
  const std::vector<int32_t> all_rates = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 14400, 28800};
  const std::vector<ScanFrame> all_frames = {{8, 0, 0}, {8, 0, 2}, {8, 2, 0}, {8, 1, 0}, {7, 2, 0},
                                             {7, 1, 0}, {7, 0, 2}, {7, 2, 2}, {7, 1, 2}};
  const std::vector<int32_t>& rates = plan.rates.empty() ? all_rates : plan.rates;
  const std::vector<ScanFrame>& frames = plan.frames.empty() ? all_frames : plan.frames;
  const std::vector<int32_t> alens = plan.alens.empty() ? std::vector<int32_t>{8, 11} : plan.alens;
  auto listed = [](const auto& list, const auto& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
  };
  // The plan's addresses in its order, each once.
  std::vector<int32_t> addresses;
  if (plan.addresses.empty()) {
    for (int32_t a = 0; a <= 2047; ++a) addresses.push_back(a);
  } else {
    for (const AddressRange& r : plan.addresses)
      for (int32_t a = r.first; a <= r.last; ++a)
        if (!listed(addresses, a)) addresses.push_back(a);
  }
  auto admitted = [&](const ScanProbe& p) {
    const ScanFrame f{p.bytesize, p.parity, p.stopbits};
    if (!plan.rates.empty() && !listed(rates, p.baud)) return false;
    if (!plan.frames.empty() && !listed(frames, f)) return false;
    if (!listed(alens, p.alen)) return false;
    if (p.proto != 0)
      return plan.modbus && p.alen == 8 && p.proto == (p.bytesize == 8 ? 2 : 1) && p.address >= 1 &&
             p.address <= 247 && listed(addresses, p.address);
    return plan.addresses.empty() || listed(addresses, p.address);
  };
  std::vector<ScanProbe> order;
  std::set<std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>> seen;
  auto add = [&](ScanProbe p) {
    if (admitted(p) &&
        seen.insert({p.baud, p.bytesize, p.parity, p.stopbits, p.address, p.alen, p.proto}).second)
      order.push_back(p);
  };
  add({given.baud, given.bytesize, given.parity, given.stopbits, given.address,
       given.alen == 11 ? 11 : 8});
  add({9600, 8, 0, 0, 16, 8});
  for (int r = 0; r < 5; ++r)
    for (int32_t address : {16, 1, 0, 2}) add({all_rates[r], 8, 0, 0, address, 8});
  for (int r = 0; r < 5; ++r) {
    for (int32_t unit : {16, 1, 2}) add({all_rates[r], 8, 0, 0, unit, 8, 2});
    for (int32_t unit : {16, 1, 2}) add({all_rates[r], 7, 2, 0, unit, 8, 1});
  }
  for (int32_t alen : alens)
    for (const ScanFrame& f : frames)
      for (int32_t baud : rates) {
        for (int32_t address : addresses)
          if (address <= (alen == 8 ? 254 : 2047)) add({baud, f.bits, f.parity, f.stop, address, alen});
        if (alen == 8)
          for (int32_t address : addresses)
            add({baud, f.bits, f.parity, f.stop, address, 8, f.bits == 8 ? 2 : 1});
      }
  return order;
}

// Narrowed, and with Modbus probes: the same probes as the order built whole, in
// its order, counted and floored as a walk through it sums them; every Modbus
// probe at a unit 1..247, RTU at 8-bit frames and ASCII at 7-bit ones.
TEST(ScanOrder, NarrowedAndModbusMatchTheOrderBuiltWhole) {
  struct Case {
    const char* name;
    PortSettings given;
    ScanPlan plan;
  };
  const Case cases[] = {
      {"modbus, everything else whole", kFactory, {.modbus = true}},
      {"one rate, one frame, the bus test's addresses", kFactory,
       {.rates = {19200}, .frames = {{8, 0, 0}}, .alens = {8, 11},
        .addresses = {{0, 10}, {40, 40}, {72, 72}, {77, 77}, {616, 616}}, .modbus = true}},
      {"given outside the plan", Given(57600, 8, 0, 0, 200),
       {.rates = {19200, 9600}, .addresses = {{0, 3}}, .modbus = true}},
      {"given inside, 7-bit frames only", Given(4800, 7, 2, 0, 5),
       {.rates = {4800}, .frames = {{7, 2, 0}, {7, 1, 2}}, .addresses = {{5, 5}, {0, 9}}, .modbus = true}},
      {"11-bit only, ranges overlapping and past 254", Given(9600, 8, 0, 0, 300, 11),
       {.alens = {11}, .addresses = {{250, 310}, {300, 320}, {0, 1}}}},
      {"11 before 8, broadcast and units above 247", kFactory,
       {.rates = {2400}, .frames = {{8, 2, 0}}, .alens = {11, 8}, .addresses = {{0, 0}, {245, 254}},
        .modbus = true}},
      {"given frame outside the sweeps, frames not narrowed", Given(19200, 7, 0, 0, 16),
       {.rates = {19200}, .addresses = {{16, 16}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ScanProbe> whole = WholeOrder(c.given, c.plan);
    const ScanOrder order(c.given, c.plan);
    std::vector<ScanProbe> lazy;
    int64_t floor_us = 0, floor16_us = 0;
    for (const ScanProbe& p : order) {
      lazy.push_back(p);
      floor_us += ProbeFloorUs(p);
      floor16_us += ProbeFloorUs(p, 16000);
      if (p.proto != 0) {
        EXPECT_GE(p.address, 1);
        EXPECT_LE(p.address, kMaxModbusUnit);
        EXPECT_EQ(p.proto, p.bytesize == 8 ? 2 : 1);
        EXPECT_EQ(p.alen, 8);
      }
    }
    ASSERT_EQ(lazy.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i)
      ASSERT_EQ(lazy[i], whole[i]) << "probe " << i;
    EXPECT_EQ(order.size(), whole.size());
    EXPECT_EQ(order.floor_us(), floor_us);
    EXPECT_EQ(order.floor_us(16000), floor16_us);
  }
}

// The options' lists: what they take, and what they refuse with a reason.
TEST(ScanOrder, OptionTexts) {
  std::vector<int32_t> rates, alens;
  std::vector<ScanFrame> frames;
  std::vector<AddressRange> ranges;
  EXPECT_EQ(ParseScanRates("19200, 9600,19200", rates), "");
  EXPECT_EQ(rates, (std::vector<int32_t>{19200, 9600}));
  EXPECT_EQ(ParseScanFrames("8-n-1,7E2, 8o1", frames), "");
  EXPECT_EQ(frames, (std::vector<ScanFrame>{{8, 0, 0}, {7, 2, 2}, {8, 1, 0}}));
  EXPECT_EQ(ParseScanAlens("11,8", alens), "");
  EXPECT_EQ(alens, (std::vector<int32_t>{11, 8}));
  EXPECT_EQ(ParseScanAddresses("0-20,77, 616", ranges), "");
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[1].first, 77);
  EXPECT_EQ(ranges[1].last, 77);
  EXPECT_EQ(ranges[2].first, 616);

  // Which list a text is for, and what it is refused with (part of the reason).
  enum class List { kRates, kFrames, kAlens, kAddresses };
  struct Refused {
    List list;
    const char* text;
    const char* reason;
  };
  const Refused refused[] = {
      {List::kRates, "12345", "12345"},          {List::kRates, "", "не число"},
      {List::kRates, "9600,,19200", "не число"},  {List::kRates, "99999999999", "не число"},
      {List::kFrames, "7-n-1", "не принимает"},  {List::kFrames, "8-e-2", "не принимает"},
      {List::kFrames, "9-x-1", "не понят"},      {List::kFrames, "8-n-1-1", "не понят"},
      {List::kAlens, "9", "8 или 11"},           {List::kAddresses, "3000", "больше 2047"},
      {List::kAddresses, "20-10", "обратную"},   {List::kAddresses, "-5", "не поняты"},
      {List::kAddresses, "1-2-3", "не поняты"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.text);
    std::string reason;
    switch (r.list) {
      case List::kRates: reason = ParseScanRates(r.text, rates); break;
      case List::kFrames: reason = ParseScanFrames(r.text, frames); break;
      case List::kAlens: reason = ParseScanAlens(r.text, alens); break;
      case List::kAddresses: reason = ParseScanAddresses(r.text, ranges); break;
    }
    EXPECT_NE(reason.find(r.reason), std::string::npos) << reason;
  }
}

}  // namespace
