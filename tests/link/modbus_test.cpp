// Modbus RTU and ASCII framing and the request object, with frames written out
// by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/modbus_ascii.h"
#include "link/modbus_request.h"
#include "link/modbus_rtu.h"
#include "codec_cases.h"

namespace {

using r = feed_result;

TEST(ModbusCrc, KnownValues) {
  const std::string digits = "123456789";
  EXPECT_EQ(modbus_crc16(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x4B37);
  EXPECT_EQ(modbus_crc16(nullptr, 0), 0xFFFF);
  const bytes read = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02};
  EXPECT_EQ(modbus_crc16(read.data(), read.size()), 0x0BC4);
  EXPECT_EQ(modbus_lrc(read.data(), read.size()), 0xFA);
}

TEST(ModbusRtuCodec, Encode) {
  modbus_rtu_codec codec;
  bytes out = {0xAA};
  EXPECT_EQ(codec.encode(text("123456789"), out), 12);
  EXPECT_EQ(out, (bytes{0xAA, '1', '2', '3', '4', '5', '6', '7', '8', '9', 0x37, 0x4B}));

  out.clear();
  EXPECT_EQ(codec.encode({0x01, 0x05, 0x00, 0x10, 0xFF, 0x00}, out), 8);
  EXPECT_EQ(out, (bytes{0x01, 0x05, 0x00, 0x10, 0xFF, 0x00, 0x8D, 0xFF}));

  for (const bytes& too_short : {bytes{}, bytes{0x01}}) {
    out = {0x42};
    EXPECT_EQ(codec.encode(too_short, out), -2);
    EXPECT_EQ(out, bytes{0x42});
  }
}

// Feeds frame one byte at a time (as the channel does while the length is
// unknown, and as a slow line delivers it) and checks where it completes and what
// read_hint asks for on the way.
TEST(ModbusRtuCodec, CompletesAtExpectedLength) {
  struct row {
    const char* what;
    bytes frame;
    std::vector<int> hints;  // read_hint after each byte but the last
    bytes payload;
  };
  const row rows[] = {
      {"exception answer", {0x01, 0x83, 0x02, 0xC0, 0xF1}, {-1, -1, 2, 1}, {0x01, 0x83, 0x02}},
      {"read holding registers, 4 data bytes",
       {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32},
       {-1, -1, 6, 5, 4, 3, 2, 1},
       {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02}},
      {"write single coil echo",
       {0x01, 0x05, 0x00, 0x10, 0xFF, 0x00, 0x8D, 0xFF},
       {-1, -1, 5, 4, 3, 2, 1},
       {0x01, 0x05, 0x00, 0x10, 0xFF, 0x00}},
  };
  modbus_rtu_codec codec;
  for (const row& rw : rows) {
    codec.reset();
    EXPECT_EQ(codec.read_hint(), -1);
    for (std::size_t i = 0; i < rw.frame.size(); ++i) {
      int consumed = -1;
      const feed_result result = codec.feed(0, {rw.frame[i]}, consumed);
      EXPECT_EQ(consumed, 1);
      if (i + 1 < rw.frame.size()) {
        EXPECT_EQ(result, r::more) << rw.what << " byte " << i;
        EXPECT_EQ(codec.read_hint(), rw.hints[i]) << rw.what << " byte " << i;
      } else {
        ASSERT_EQ(result, r::frame_ok) << rw.what;
      }
    }
    bytes payload;
    codec.take_payload(payload);
    EXPECT_EQ(payload, rw.payload) << rw.what;

    // The same frame in one piece, and split after three bytes as the channel reads
    // it once the length is known.
    codec.reset();
    int consumed = 0;
    EXPECT_EQ(codec.feed(0, rw.frame, consumed), r::frame_ok);
    codec.reset();
    EXPECT_EQ(codec.feed(0, bytes(rw.frame.begin(), rw.frame.begin() + 3), consumed), r::more);
    EXPECT_EQ(codec.read_hint(), static_cast<int>(rw.frame.size()) - 3);
    EXPECT_EQ(codec.feed(0, bytes(rw.frame.begin() + 3, rw.frame.end()), consumed), r::frame_ok);
  }
}

TEST(ModbusRtuCodec, FeedResults) {
  modbus_rtu_codec codec;
  const bytes good = {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32};
  const bytes bad_crc = {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x33};
  const bytes extra = {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32, 0x77};
  const bytes unknown = {0x11, 0x41, 0x01, 0xD0, 0x55};
  run_feed_cases(codec, {
      {"nothing at all", {{{}, 1, r::nothing_received, 0}}, {}},
      {"three bytes, then time up",
       {{{0x01, 0x03, 0x04}, 0, r::more, 3}, {{}, 1, r::too_short, 0}},
       {}},
      {"wrong CRC", {{bad_crc, 0, r::bad_checksum, 9}}, {}},
      // Bytes beyond the expected length belong to the checked frame.
      {"one byte too many", {{extra, 0, r::bad_checksum, 10}}, {}},
      // An unknown function code ends only when the line falls silent.
      {"unknown function", {{unknown, 0, r::more, 5}, {{}, 1, r::frame_ok, 0}}, {0x11, 0x41, 0x01}},
      {"unknown function, final with the bytes",
       {{unknown, 1, r::frame_ok, 5}},
       {0x11, 0x41, 0x01}},
      {"final out of range", {{good, 2, r::bad_argument, 0}, {good, -1, r::bad_argument, 0}}, {}},
  });
}

TEST(ModbusRtuCodec, EndlessAnswerIsCut) {
  modbus_rtu_codec codec;
  const bytes chunk(4096, 0x41);  // function 0x41: length unknown
  std::size_t fed = 0;
  EXPECT_EQ(feed_endlessly(codec, chunk, chunk, fed), r::too_long);
  EXPECT_LE(fed, 65536u + chunk.size());
}

TEST(ModbusAsciiCodec, Encode) {
  modbus_ascii_codec codec;
  struct row {
    bytes payload;
    std::string frame;
  };
  const row rows[] = {
      {{0x01, 0x03, 0x00, 0x00, 0x00, 0x02}, ":010300000002FA\r\n"},
      {{0x01, 0x05, 0x00, 0x10, 0xFF, 0x00}, ":01050010FF00EB\r\n"},
      {{0xAB, 0xCD}, ":ABCD88\r\n"},
  };
  for (const row& rw : rows) {
    bytes out = {'>'};
    EXPECT_EQ(codec.encode(rw.payload, out), static_cast<int>(rw.frame.size() + 1));
    EXPECT_EQ(out, text(">" + rw.frame));
  }
  bytes out;
  EXPECT_EQ(codec.encode({0x01}, out), -2);
  EXPECT_TRUE(out.empty());
}

TEST(ModbusAsciiCodec, Feed) {
  modbus_ascii_codec codec;
  const bytes answer = {0x11, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02};
  const std::string frame = ":11030400010002E5\r\n";
  run_feed_cases(codec, {
      {"whole frame", {{frame, 0, r::frame_ok, 19}}, answer},
      {"line feed, carriage return", {{":11030400010002E5\n\r", 0, r::frame_ok, 19}}, answer},
      {"lower-case digits", {{":11030400010002e5\r\n", 0, r::frame_ok, 19}}, answer},
      {"noise, split frame",
       {{"\r\n\x01zz:1103", 0, r::more, 10}, {"0400010002E5\r", 0, r::more, 13}, {"\nrest", 0, r::frame_ok, 1}},
       answer},
      {"exception answer", {{":0183027A\r\n", 0, r::frame_ok, 11}}, {0x01, 0x83, 0x02}},
      {"carriage return twice", {{":11030400010002E5\r\r", 0, r::bad_terminator, 19}}, {}},
      {"line feed twice", {{":11030400010002E5\n\n", 0, r::bad_terminator, 19}}, {}},
      {"wrong LRC", {{":11030400010002E6\r\n", 0, r::bad_checksum, 19}}, {}},
      {"not hexadecimal", {{":1103040G010002E5\r\n", 0, r::bad_format, 19}}, {}},
      {"LRC not hexadecimal", {{":11030400010002X5\r\n", 0, r::bad_format, 19}}, {}},
      {"second start character", {{":1103:400010002E5\r\n", 0, r::bad_format, 19}}, {}},
      {"8 characters", {{":0102F\r\n", 0, r::too_short, 8}}, {}},
      {"shortest frame", {{":01FF00\r\n", 0, r::frame_ok, 9}}, {0x01, 0xFF}},
      {"too short", {{":0102\r\n", 0, r::too_short, 7}}, {}},
      {"nothing at all", {{"", 1, r::nothing_received, 0}}, {}},
      {"noise, then time up", {{"abc", 0, r::more, 3}, {"", 1, r::nothing_received, 0}}, {}},
      {"started frame, then time up", {{":1103", 0, r::more, 5}, {"", 1, r::more, 0}}, {}},
      {"final out of range", {{frame, 3, r::bad_argument, 0}}, {}},
  });
}

TEST(ModbusRequest, SetFunctionAndRange) {
  modbus_request request;
  bytes out = {0x99};
  EXPECT_EQ(request.build(out, -1), -4);  // nothing set: nothing built
  EXPECT_EQ(out, bytes{0x99});
  EXPECT_EQ(request.set_range(0, 1), -5);
  EXPECT_EQ(request.take_data(out), -4);

  for (int code : {1, 2, 3, 4, 5, 6, 15, 16}) EXPECT_EQ(request.set_function(code), 0) << code;
  for (int code : {-1, 0, 7, 8, 14, 17, 23, 0x83}) {
    EXPECT_EQ(request.set_function(code), -4) << code;
    EXPECT_EQ(request.function(), 16);  // unchanged
  }

  struct row {
    int function;
    int count;
    int result;
  };
  const row rows[] = {
      {1, 0, -5},    {1, 1, 0},       {1, 2000, 0},   {1, 2001, -5},   {2, 125, 0},
      {2, 126, -5},  {3, 0, -5},      {3, 1, 0},      {3, 125, 0},     {3, 126, -5},
      {15, 1968, 0}, {15, 1969, -5},  {16, 120, 0},   {16, 121, -5},   {16, -1, -5},
      {4, 0, 0},     {4, 100000, 0},  {4, -7, 0},     {5, 0, 0},       {5, 12345, 0},
      {6, 65535, 0}, {6, -1, 0},
  };
  for (const row& rw : rows) {
    ASSERT_EQ(request.set_function(rw.function), 0);
    ASSERT_EQ(request.set_range(0x0102, 7), 0);
    EXPECT_EQ(request.set_range(0x1234, rw.count), rw.result) << rw.function << " " << rw.count;
    if (rw.result == 0) {
      EXPECT_EQ(request.address(), 0x1234);
      EXPECT_EQ(request.count_or_value(), rw.count);
    } else {
      EXPECT_EQ(request.address(), 0x0102);  // a refused range changes nothing
      EXPECT_EQ(request.count_or_value(), 7);
    }
  }
}

TEST(ModbusRequest, Build) {
  struct row {
    int function;
    uint16_t address;
    int count;
    bytes data;
    int unit;
    bytes expected;
  };
  const row rows[] = {
      {3, 0x0000, 2, {}, -1, {0x07, 0x03, 0x00, 0x00, 0x00, 0x02}},
      {3, 0x1234, 125, {}, 0x11, {0x11, 0x03, 0x12, 0x34, 0x00, 0x7D}},
      {1, 0x0001, 2000, {}, -1, {0x07, 0x01, 0x00, 0x01, 0x07, 0xD0}},
      {4, 0xFFFF, 0x0102, {}, -1, {0x07, 0x04, 0xFF, 0xFF, 0x01, 0x02}},
      {5, 0x0010, 0, {}, -1, {0x07, 0x05, 0x00, 0x10, 0x00, 0x00}},
      {5, 0x0010, 1, {}, -1, {0x07, 0x05, 0x00, 0x10, 0xFF, 0x00}},
      {5, 0x0010, 0x1234, {}, 2, {0x02, 0x05, 0x00, 0x10, 0xFF, 0x00}},
      {5, 0x0010, -1, {}, -1, {0x07, 0x05, 0x00, 0x10, 0xFF, 0x00}},
      {6, 0x0100, 0xABCD, {}, -1, {0x07, 0x06, 0x01, 0x00, 0xAB, 0xCD}},
      {15, 0x0013, 10, {0xCD, 0x01}, -1, {0x07, 0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01}},
      {16, 0x0001, 2, {0x00, 0x0A, 0x01, 0x02}, -1,
       {0x07, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}},
  };
  for (const row& rw : rows) {
    modbus_request request;
    request.set_unit(7);
    ASSERT_EQ(request.set_function(rw.function), 0);
    ASSERT_EQ(request.set_range(rw.address, rw.count), 0);
    request.set_data(rw.data);
    bytes out = {0xEE, 0xEE};  // replaced, not appended to
    EXPECT_EQ(request.build(out, rw.unit), 0);
    EXPECT_EQ(out, rw.expected) << "function " << rw.function;
  }

  // A data field its one-byte count cannot describe is refused.
  modbus_request request;
  request.set_function(16);
  request.set_range(0, 120);
  request.set_data(bytes(256, 0));
  bytes out;
  EXPECT_EQ(request.build(out, -1), -5);
  request.set_data(bytes(240, 0));
  EXPECT_EQ(request.build(out, -1), 0);
  EXPECT_EQ(out.size(), 247u);
}

TEST(ModbusRequest, CheckAnswer) {
  struct row {
    const char* what;
    int function;
    bytes answer;
    int unit;
    int result;
    bytes data;  // take_data after the check
  };
  const row rows[] = {
      {"registers", 3, {0x07, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02}, -1, 0, {0x00, 0x01, 0x00, 0x02}},
      {"registers of unit 9", 3, {0x09, 0x03, 0x02, 0x12, 0x34}, 9, 0, {0x12, 0x34}},
      {"input registers", 4, {0x07, 0x04, 0x02, 0xAB, 0xCD}, -1, 0, {0xAB, 0xCD}},
      {"discrete inputs", 2, {0x07, 0x02, 0x01, 0x05}, -1, 0, {0x05}},
      {"no data bytes", 3, {0x07, 0x03, 0x00}, -1, 0, {}},
      {"byte count too large", 3, {0x07, 0x03, 0x04, 0x00, 0x01, 0x00}, -1, -3, {}},
      {"byte count too small", 3, {0x07, 0x03, 0x02, 0x00, 0x01, 0x00}, -1, -3, {}},
      {"two bytes", 3, {0x07, 0x03}, -1, -3, {}},
      {"empty", 3, {}, -1, -3, {}},
      {"another unit", 3, {0x08, 0x03, 0x02, 0x00, 0x01}, -1, -3, {}},
      {"given unit wins over the default", 3, {0x07, 0x03, 0x02, 0x00, 0x01}, 8, -3, {}},
      {"another function", 3, {0x07, 0x04, 0x02, 0x00, 0x01}, -1, -3, {}},
      {"exception 2", 3, {0x07, 0x83, 0x02}, -1, -258, {}},
      {"exception 1 to a coil write", 5, {0x07, 0x85, 0x01}, -1, -257, {}},
      {"exception 255", 16, {0x07, 0x90, 0xFF}, -1, -511, {}},
      {"exception to another function", 3, {0x07, 0x85, 0x02}, -1, -3, {}},
      {"exception too short", 3, {0x07, 0x83}, -1, -3, {}},
      {"coil written", 5, {0x07, 0x05, 0x00, 0x10, 0xFF, 0x00}, -1, 0, {}},
      {"coil echo not compared", 5, {0x07, 0x05, 0x99}, -1, 0, {}},
      {"register written", 6, {0x07, 0x06, 0x00, 0x01, 0x00, 0x03}, -1, 0, {}},
      {"coils written", 15, {0x07, 0x0F, 0x00, 0x13, 0x00, 0x0A}, -1, 0, {}},
      {"registers written", 16, {0x07, 0x10, 0x00, 0x01, 0x00, 0x02}, -1, 0, {}},
      {"coils read: not decoded", 1, {0x07, 0x01, 0x01, 0x05}, -1, -4, {}},
  };
  for (const row& rw : rows) {
    modbus_request request;
    request.set_unit(7);
    ASSERT_EQ(request.set_function(rw.function), 0);
    EXPECT_EQ(request.check_answer(rw.answer, rw.unit), rw.result) << rw.what;
    bytes data = {0xEE};
    EXPECT_EQ(request.take_data(data), 0) << rw.what;
    EXPECT_EQ(data, rw.data) << rw.what;
  }

  modbus_request unset;
  EXPECT_EQ(unset.check_answer({0x01, 0x03, 0x00}, -1), -4);
}

// The register read of the line test: the first register is answer bytes 4 and 5.
TEST(ModbusRequest, RoundTripThroughRtu) {
  modbus_request request;
  request.set_unit(1);
  ASSERT_EQ(request.set_function(3), 0);
  ASSERT_EQ(request.set_range(0x0000, 2), 0);
  bytes payload;
  ASSERT_EQ(request.build(payload, -1), 0);
  modbus_rtu_codec codec;
  bytes wire;
  ASSERT_EQ(codec.encode(payload, wire), 8);
  EXPECT_EQ(wire, (bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));

  codec.reset();
  int consumed = 0;
  ASSERT_EQ(codec.feed(0, {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32}, consumed),
            r::frame_ok);
  bytes answer;
  codec.take_payload(answer);
  EXPECT_EQ(request.check_answer(answer, -1), 0);
  bytes data;
  request.take_data(data);
  ASSERT_EQ(data.size(), 4u);
  EXPECT_EQ((data[0] << 8) | data[1], 1);
}

}  // namespace
