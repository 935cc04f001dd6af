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

}  // namespace
