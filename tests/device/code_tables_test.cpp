// The converter's code tables, the names of the settings' values and the address
// range, without a converter.
#include <gtest/gtest.h>

#include "common/setting_values.h"
#include "device/address_range.h"
#include "device/code_tables.h"

namespace {

struct TableCase {
  int table;
  std::vector<int> values;  // setting value for converter code 0, 1, 2, ...
};

const TableCase kTables[] = {
    {kTableRs485Baud, {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200}},
    {kTableByteSize, {7, 8}},
    {kTableParity, {0, 2, 1}},   // converter: none, even, odd
    {kTableStopBits, {0, 2}},
    {kTableAddrLen, {8, 11}},
    {kTableProtocol, {0, 2, 1}},  // converter: RAVIK, Modbus RTU, Modbus ASCII
    {kTableLoopBaud,
     {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200}},
};

TEST(CodeTables, EveryCodeBothWays) {
  for (const TableCase& t : kTables) {
    SCOPED_TRACE(t.table);
    for (int code = 0; code < static_cast<int>(t.values.size()); ++code) {
      EXPECT_EQ(TranslateCodeTable(true, t.table, t.values[code]), code);
      EXPECT_EQ(TranslateCodeTable(false, t.table, code), t.values[code]);
    }
    // One past the end and a negative code are not in the table.
    EXPECT_EQ(TranslateCodeTable(false, t.table, static_cast<int>(t.values.size())), -1);
    EXPECT_EQ(TranslateCodeTable(false, t.table, -1), -1);
  }
}

TEST(CodeTables, UnknownValuesAndTables) {
  struct Case {
    bool to_converter;
    int table, value;
  } const cases[] = {
      {true, kTableRs485Baud, 1200},  // the loop table knows 1200, the RS-485 one does not
      {true, kTableParity, 3},
      {true, kTableStopBits, 1},      // one and a half
      {true, kTableAddrLen, 16},
      {true, kTableByteSize, 0},
      {true, -1, 0},
      {true, 7, 0},
      {false, 7, 0},
      {false, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.table << " " << c.value);
    EXPECT_EQ(TranslateCodeTable(c.to_converter, c.table, c.value), -1);
  }
  EXPECT_EQ(TranslateCodeTable(true, kTableLoopBaud, 1200), 3);
}

// The protocol's three numberings: the settings value, the converter's "PrOt" code
// and the RS-485 page's list position.
TEST(CodeTables, ProtocolNumberings) {
  struct Case {
    Protocol protocol;
    int32_t value, code;
    int position;
  } const cases[] = {
      {Protocol::kRavik, 0, 0, 0},
      {Protocol::kModbusAscii, 1, 2, 2},
      {Protocol::kModbusRtu, 2, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ToValue(c.protocol), c.value);
    EXPECT_EQ(ProtocolOf(c.value), c.protocol);
    EXPECT_EQ(ToValue(ConverterCodeOf(c.protocol)), c.code);
    EXPECT_EQ(ProtocolOfConverterCode(static_cast<ConverterProtocol>(c.code)), c.protocol);
    EXPECT_EQ(ToValue(ItemOfProtocol(c.protocol)), c.position);
    EXPECT_EQ(ProtocolItemOf(c.position), ItemOfProtocol(c.protocol));
    EXPECT_EQ(ProtocolOfItem(ItemOfProtocol(c.protocol)), c.protocol);
  }
  // A stored protocol 3, a converter code 3, the fourth list position and no
  // selection name no protocol.
  EXPECT_EQ(ProtocolOf(3), std::nullopt);
  EXPECT_EQ(ProtocolOf(-1), std::nullopt);
  EXPECT_EQ(ProtocolOfConverterCode(static_cast<ConverterProtocol>(3)), std::nullopt);
  EXPECT_EQ(ProtocolItemOf(3), std::nullopt);
  EXPECT_EQ(ProtocolItemOf(-1), std::nullopt);
}

// The other values: the numbers the records keep and the values that name nothing.
TEST(CodeTables, LineValueNames) {
  EXPECT_EQ(ParityOf(0), Parity::kNone);
  EXPECT_EQ(ParityOf(1), Parity::kOdd);
  EXPECT_EQ(ParityOf(2), Parity::kEven);
  EXPECT_EQ(ParityOf(3), std::nullopt);
  EXPECT_EQ(StopBitsOf(0), StopBits::kOne);
  EXPECT_EQ(StopBitsOf(2), StopBits::kTwo);
  EXPECT_EQ(StopBitsOf(1), std::nullopt);  // one and a half
  EXPECT_EQ(AdaptorOf(0), Adaptor::kAutomatic);
  EXPECT_EQ(AdaptorOf(1), Adaptor::kControlled);
  EXPECT_EQ(AdaptorOf(2), std::nullopt);
  // The converter counts parity as none, even, odd.
  EXPECT_EQ(TranslateCodeTable(true, kTableParity, ToValue(Parity::kEven)), 1);
  EXPECT_EQ(TranslateCodeTable(true, kTableStopBits, ToValue(StopBits::kTwo)), 1);
}

TEST(AddressRange, CorrectedByAddressLength) {
  struct Case {
    int address, alen, corrected;
  } const cases[] = {
      {300, 8, 254}, {255, 8, 255}, {256, 8, 254}, {0, 8, 0},      {-5, 8, 0},
      {2047, 11, 2047}, {2048, 11, 2046}, {300, 11, 300}, {-1, 11, 0},
      {300, 16, 254},  // any length other than 11 means 8-bit addressing
      {2147483647, 11, 2046}, {-2147483647 - 1, 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.address << "/" << c.alen);
    EXPECT_EQ(CorrectNetworkAddress(c.address, c.alen), c.corrected);
  }
}

}  // namespace
