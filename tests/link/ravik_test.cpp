// RAVIK framing: parameter identifiers, the frame check, request headers, and the
// codec's encode and feed as the channel drives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/modbus_ascii.h"
#include "link/modbus_rtu.h"
#include "link/ravik.h"
#include "codec_cases.h"

namespace {

TEST(RavikHash, KnownNames) {
  struct row {
    const char* name;
    uint16_t id;
  };
  // Worked out independently of this code, bit by bit.
  const row rows[] = {
      {"APLY", 0x8403}, {"dev", 0xD681},  {"ver", 0x2D5B},   {"BPS", 0xB760},
      {"PrOt", 0x41F2}, {"A.Len", 0x1ED2}, {"rs.dl", 0xCBF5}, {"", 0x1DDE},
  };
  for (const row& r : rows) {
    bool ok = false;
    EXPECT_EQ(ravik_hash(r.name, &ok), r.id) << r.name;
    EXPECT_TRUE(ok) << r.name;
  }
}

TEST(RavikHash, SameIdentifier) {
  struct row {
    const char* a;
    const char* b;
  };
  const row rows[] = {
      {"", "    "},          // an empty name is four spaces
      {"Len", "Len "},       // short names are padded with spaces
      {"PrOt", "PROT"},      // case is ignored
      {"aply", "APLY"},
      {"rs.dl", "rs.dlXYZ"}, // s with its dot is one character: four in all
      {"APLY", "APLY\x80!"}, // characters after the fourth are not even checked
      {"A.Len", "A.LenZ"},
  };
  for (const row& r : rows) EXPECT_EQ(ravik_hash(r.a, nullptr), ravik_hash(r.b, nullptr)) << r.a;
  // The dot changes the character it follows.
  EXPECT_NE(ravik_hash("A.Len", nullptr), ravik_hash("ALen", nullptr));
  EXPECT_NE(ravik_hash("rs.dl", nullptr), ravik_hash("rsdl", nullptr));
}

TEST(RavikHash, InvalidNames) {
  const char* names[] = {".abc", "a..b", "A+", "ab\x80", "x=1", "a\tb"};
  for (const char* name : names) {
    bool ok = true;
    EXPECT_EQ(ravik_hash(name, &ok), 0) << name;
    EXPECT_FALSE(ok) << name;
  }
  // Without a place to report, an invalid name still gives 0 and does not crash.
  EXPECT_EQ(ravik_hash(".", nullptr), 0);
  bool no_name = true;
  EXPECT_EQ(ravik_hash(nullptr, &no_name), 0);
  EXPECT_FALSE(no_name);
  // The other characters of the table are all valid.
  bool ok = false;
  ravik_hash("-_/ ", &ok);
  EXPECT_TRUE(ok);
}

TEST(RavikCrc, FrameCheck) {
  uint16_t crc = 0;
  for (char c : std::string("abc")) crc = ravik_crc16(crc, static_cast<uint8_t>(c));
  EXPECT_EQ(crc, 0x4F8D);
  EXPECT_EQ(ravik_crc16(0, 0), 0);
}

TEST(RavikRequest, Header) {
  struct row {
    bytes data;
    bool is_read;
    bool addr11;
    int address;
    uint16_t hash;
    bytes expected;
  };
  const row rows[] = {
      {{}, true, false, 5, 0xD681, {0x05, 0x10, 0xD6, 0x81}},
      {{0x01}, false, false, 1, 0x8403, {0x01, 0x01, 0x84, 0x03, 0x01}},
      {{0x12, 0x34}, false, true, 2047, 0xB760, {0xFF, 0xE2, 0xB7, 0x60, 0x12, 0x34}},
      {{}, true, true, 9, 0x0000, {0x01, 0x30, 0x00, 0x00}},
      {{}, true, false, 0x1FF, 0x1234, {0xFF, 0x10, 0x12, 0x34}},  // 8 bits kept
      {bytes(15, 0xAA), false, false, 3, 0x0102, [] {
         bytes b = {0x03, 0x0F, 0x01, 0x02};
         b.insert(b.end(), 15, 0xAA);
         return b;
       }()},
  };
  for (const row& r : rows) {
    bytes data = r.data;
    EXPECT_TRUE(ravik_make_request(data, r.is_read, r.addr11, r.address, r.hash));
    EXPECT_EQ(data, r.expected) << "address " << r.address;
  }
  bytes sixteen(16, 0x55);
  EXPECT_FALSE(ravik_make_request(sixteen, true, false, 1, 0x1111));
  EXPECT_EQ(sixteen, bytes(16, 0x55));
}

TEST(RavikCodec, Encode) {
  ravik_codec codec;
  bytes out = text("xy");
  EXPECT_EQ(codec.encode({0x01, 0x10, 0x84, 0x03}, out), 16);
  EXPECT_EQ(out, text("xy#GHHGOKGJJVRV\r"));  // appended, not replaced

  out.clear();
  EXPECT_EQ(codec.encode({0x01, 0x00, 0x84, 0x03, 0x01}, out), 16);
  EXPECT_EQ(out, text("#GHGGOKGJGHOGRO\r"));

  // The longest request: 4 header bytes and 15 data bytes, 44 characters.
  out.clear();
  bytes longest(19, 0x7E);
  EXPECT_EQ(codec.encode(longest, out), 44);

  // The longest frame any codec takes in, and one character pair more.
  out.clear();
  EXPECT_EQ(codec.encode(bytes(32764, 0x01), out), 65534);
  int consumed = 0;
  codec.reset();
  EXPECT_EQ(codec.feed(0, out, consumed), feed_result::frame_ok);
  // Two characters more, the carriage return as the 65536th: too long.
  out.insert(out.begin() + 1, {'G', 'G'});
  codec.reset();
  EXPECT_EQ(codec.feed(0, out, consumed), feed_result::too_long);
  EXPECT_EQ(consumed, 65536);
  out = text("keep");
  EXPECT_EQ(codec.encode(bytes(32765, 0x01), out), -2);
  EXPECT_EQ(out, text("keep"));

  for (const bytes& too_short : {bytes{}, bytes{1, 2, 3}}) {
    out = text("keep");
    EXPECT_EQ(codec.encode(too_short, out), -2);
    EXPECT_EQ(out, text("keep"));
  }
}

TEST(RavikCodec, Feed) {
  using r = feed_result;
  ravik_codec codec;
  const std::string frame = "#GHHGOKGJJVRV\r";
  const bytes payload = {0x01, 0x10, 0x84, 0x03};
  const std::vector<feed_case> cases = {
      {"whole frame", {{frame, 0, r::frame_ok, 14}}, payload},
      {"split after noise",
       {{"\xFFz#GH", 0, r::more, 5}, {"HGOKGJJVRV\r", 0, r::frame_ok, 11}},
       payload},
      {"noise only, then the frame",
       {{"abc", 0, r::more, 3}, {"", 0, r::more, 0}, {frame, 0, r::frame_ok, 14}},
       payload},
      {"bytes after the carriage return stay", {{frame + "#GH", 0, r::frame_ok, 14}}, payload},
      {"one byte at a time",
       [&] {
         std::vector<feed_step> steps;
         for (std::size_t i = 0; i + 1 < frame.size(); ++i) steps.push_back({frame.substr(i, 1), 0, r::more, 1});
         steps.push_back({"\r", 0, r::frame_ok, 1});
         return steps;
       }(),
       payload},
      {"13 characters", {{"#GHHGOKGJJVR", 0, r::more, 12}, {"\r", 0, r::too_short, 1}}, {}},
      {"carriage return alone", {{"#\r", 0, r::too_short, 2}}, {}},
      {"odd length leaves one character unread", {{"#GHHGOKGJJVRVZ\r", 0, r::frame_ok, 15}}, payload},
      {"W in the data", {{"#GHHGOKGWJVRV\r", 0, r::bad_format, 14}}, {}},
      {"F in the check", {{"#GHHGOKGJJVRF\r", 0, r::bad_format, 14}}, {}},
      {"second start character", {{"#GH#GOKGJJVRV\r", 0, r::bad_format, 14}}, {}},
      {"lower case", {{"#ghhgokgjjvrv\r", 0, r::bad_format, 14}}, {}},
      {"check off by one", {{"#GHHGOKGJJVRU\r", 0, r::bad_checksum, 14}}, {}},
      {"data changed", {{"#GHHHOKGJJVRV\r", 0, r::bad_checksum, 14}}, {}},
      {"nothing at all", {{"", 1, r::nothing_received, 0}}, {}},
      {"only noise, then time up", {{"xyz", 0, r::more, 3}, {"", 1, r::nothing_received, 0}}, {}},
      {"started frame, then time up", {{"#GHHG", 0, r::more, 5}, {"", 1, r::more, 0}}, {}},
      {"final with the frame in it", {{frame, 1, r::frame_ok, 14}}, payload},
      {"final out of range", {{frame, 2, r::bad_argument, 0}, {frame, -1, r::bad_argument, 0}}, {}},
  };
  run_feed_cases(codec, cases);
}

TEST(RavikCodec, EncodeThenFeedEveryLength) {
  ravik_codec codec;
  for (std::size_t n = 4; n <= 19; ++n) {
    bytes payload;
    for (std::size_t i = 0; i < n; ++i) payload.push_back(static_cast<uint8_t>(i * 37 + n));
    bytes frame;
    ASSERT_EQ(codec.encode(payload, frame), static_cast<int>(2 * n + 6));
    codec.reset();
    int consumed = 0;
    ASSERT_EQ(codec.feed(0, frame, consumed), feed_result::frame_ok) << n;
    bytes got;
    codec.take_payload(got);
    EXPECT_EQ(got, payload);
    // The payload stays until the next reset.
    codec.take_payload(got);
    EXPECT_EQ(got, payload);
    codec.reset();
    codec.take_payload(got);
    EXPECT_TRUE(got.empty());
  }
}

TEST(RavikCodec, EndlessLineIsCut) {
  ravik_codec codec;
  const bytes chunk(4096, 'G');
  bytes first = chunk;
  first[0] = '#';
  std::size_t fed = 0;
  EXPECT_EQ(feed_endlessly(codec, first, chunk, fed), feed_result::too_long);
  EXPECT_LE(fed, 65536u + chunk.size());
}

// The base codec and every codec's fixed answers.
TEST(FrameCodec, TimingAndTraits) {
  frame_codec base;
  ravik_codec ravik;
  modbus_rtu_codec rtu;
  modbus_ascii_codec ascii;
  struct row {
    const frame_codec* codec;
    int kind;
    int baud;
    int us;
  };
  const row rows[] = {
      {&base, 0, 9600, -1},          {&base, 1, 9600, -1},          {&base, 2, 9600, -1},
      {&ravik, 0, 9600, -1},         {&ravik, 1, 4800, 200000},     {&ravik, 1, 9599, 200000},
      {&ravik, 1, 9600, 100000},     {&ravik, 2, 2400, 150000},     {&ravik, 2, 9600, 70000},
      {&ravik, 2, 115200, 70000},    {&ravik, 3, 9600, -1},         {&ravik, -1, 9600, -1},
      {&rtu, 0, 1200, 240000},       {&rtu, 0, 2400, 240000},       {&rtu, 0, 4800, 100000},
      {&rtu, 0, 9600, 50000},        {&rtu, 1, 2400, 150000},       {&rtu, 1, 4800, 100000},
      {&rtu, 1, 19200, 50000},       {&rtu, 2, 2400, 2000000},      {&rtu, 2, 4800, 1000000},
      {&rtu, 2, 115200, 1000000},    {&rtu, 3, 9600, -1},           {&ascii, 0, 2400, 1000000},
      {&ascii, 1, 9600, 1000000},    {&ascii, 2, 115200, 1000000},  {&ascii, 3, 9600, -1},
      {&ascii, 100, 9600, -1},
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.codec->timing(r.kind, r.baud, 10, 0), r.us)
        << r.codec->name() << " kind " << r.kind << " baud " << r.baud;
  }

  EXPECT_STREQ(base.name(), "frame_codec");
  EXPECT_STREQ(ravik.name(), "ravik_codec");
  EXPECT_STREQ(rtu.name(), "modbus_rtu_codec");
  EXPECT_STREQ(ascii.name(), "modbus_ascii_codec");

  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<uint8_t>(b);
    EXPECT_FALSE(base.is_frame_start(byte));
    EXPECT_EQ(ravik.is_frame_start(byte), b == '#');
    EXPECT_EQ(ascii.is_frame_start(byte), b == ':');
    EXPECT_TRUE(rtu.is_frame_start(byte));
  }

  EXPECT_EQ(base.read_hint(), -1);
  EXPECT_EQ(ravik.read_hint(), -1);
  EXPECT_EQ(ascii.read_hint(), 256);

  bytes out = {1};
  int consumed = 7;
  EXPECT_EQ(base.encode({1, 2, 3, 4}, out), -1);
  EXPECT_EQ(out, bytes{1});
  EXPECT_EQ(base.feed(0, {1, 2}, consumed), feed_result::unsupported);
  EXPECT_EQ(consumed, 0);
}

}  // namespace
