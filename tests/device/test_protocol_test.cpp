// The line test's protocol text: the length limit that keeps whole lines, the cut
// of an over-long line, and the register rows with their summary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/code_pages.h"
#include "device/test_protocol.h"

namespace {

// Lines "line NNNNN...\r\n" of exactly `width` characters each, numbered.
std::string Lines(int count, std::size_t width, int first = 0) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string line = "line " + std::to_string(first + i) + " ";
    line.resize(width - 2, '.');
    text += line + "\r\n";
  }
  return text;
}

TEST(TestProtocol, ShortProtocolGrowsUnchanged) {
  std::string protocol = "a\r\n";
  AppendToProtocol(protocol, "b\r\n");
  EXPECT_EQ(protocol, "a\r\nb\r\n");
  std::string full(kProtocolChars - 3, 'x');
  AppendToProtocol(full, "y\r\n");
  EXPECT_EQ(full.size(), kProtocolChars);
}

// A log just under the limit that receives a 30-character line: at most the limit,
// starting with a whole line.
TEST(TestProtocol, OverflowKeepsTheEndFromAWholeLine) {
  std::string protocol = Lines(399, 40) + std::string(kProtocolChars - 399 * 40 - 5, 'z');
  protocol += "\r\n";
  ASSERT_LT(protocol.size(), kProtocolChars);
  const std::string line = Lines(1, 30, 999);
  AppendToProtocol(protocol, line);
  EXPECT_LE(protocol.size(), kProtocolChars);
  EXPECT_EQ(protocol.rfind("line 1 ", 0), 0u) << protocol.substr(0, 50);
  EXPECT_TRUE(protocol.ends_with(line));
}

struct CutCase {
  const char* name;
  std::string before;  // the protocol before the append
  std::string text;    // what is appended
  std::string start;   // how the protocol starts afterwards
  std::size_t size;    // its size afterwards
};

TEST(TestProtocol, CutCases) {
  const std::size_t n = kProtocolChars;
  const CutCase cases[] = {
      // The cut falls right after a line break: the kept text already starts a line.
      {"at a line start", "ab\r\n" + std::string(n - 4, 'c'), "xy\r\n", "ccccc", n},
      // Between CR and LF: only the LF goes.
      {"between CR and LF", "a\r\n" + std::string(n - 3, 'c'), "de", "ccccc", n - 1},
      // Inside a line: the rest of it goes, with its CR LF.
      {"inside a line", "abcd\r\n" + Lines(1, 10) + std::string(n - 16, 'c'), "xyz", "line 0",
       n - 3},
      // No CR before the last character: nothing but the overflow goes.
      {"no line break", std::string(n, 'c'), "d\r", "ccccc", n},
      // A lone CR ends a line too.
      {"lone CR", "ab" + std::string(n - 2, 'c'), "x\ry", "y", 1},
  };
  for (const CutCase& c : cases) {
    std::string protocol = c.before;
    AppendToProtocol(protocol, c.text);
    EXPECT_EQ(protocol.substr(0, c.start.size()), c.start) << c.name;
    EXPECT_EQ(protocol.size(), c.size) << c.name;
  }
}

TEST(TestProtocol, OverLongLineIsCutButKeepsItsLineBreak) {
  const std::string name(2000, 'p');
  const std::string line = FormatProtocolLine(std::string("port \"%s\"\r\n"), name.c_str());
  EXPECT_EQ(line.size(), kProtocolLineBytes - 1);
  EXPECT_TRUE(line.starts_with("port \"ppp"));
  EXPECT_TRUE(line.ends_with("pp\r\n"));
  EXPECT_EQ(FormatProtocolLine(std::string("%u %s\r\n"), 16u, "x"), "16 x\r\n");
  EXPECT_EQ(FormatProtocolLine(std::string("100%\r\n")), "100%\r\n");  // no arguments: as it stands
}

// The registers a converter answers, as a set of (first, last) ranges.
struct Readable {
  int first;
  int last;
};

struct DumpCase {
  const char* name;
  std::vector<Readable> readable;
  const char* summary;  // UTF-8; "" for none
};

bool IsReadable(const std::vector<Readable>& readable, int reg) {
  for (const Readable& r : readable)
    if (reg >= r.first && reg <= r.last) return true;
  return false;
}

TEST(TestProtocol, RegisterRowsAndSummary) {
  const DumpCase cases[] = {
      {"00-1F: the failure at 20 ends the run", {{0x00, 0x1F}}, ""},
      {"10-FF", {{0x10, 0xFF}}, "Адреса считанных ячеек: 10-FF\r\n"},
      {"all", {{0x00, 0xFF}}, "Адреса считанных ячеек: 00-FF\r\n"},
      {"only 00", {{0x00, 0x00}}, ""},
      {"none", {}, ""},
      {"only FF", {{0xFF, 0xFF}}, "Адрес считанной ячейки: FF\r\n"},
      {"a single register inside", {{0x40, 0x40}, {0x80, 0x80}}, ""},
      {"two registers at the end", {{0x20, 0x30}, {0xFE, 0xFF}},
       "Адреса считанных ячеек: FE-FF\r\n"},
      // 00 alone and a later run: the gap after 00 ends that run.
      {"00 and 10-FF", {{0x00, 0x00}, {0x10, 0xFF}}, "Адреса считанных ячеек: 10-FF\r\n"},
  };
  for (const DumpCase& c : cases) {
    RegisterDump dump;
    std::vector<std::string> rows;
    for (int reg = 0; reg < 256; ++reg) {
      const bool read = IsReadable(c.readable, reg);
      const std::string row = dump.Add(reg, read, 0x4B00 + reg);
      EXPECT_EQ(row.empty(), reg % 4 != 3) << c.name << " " << reg;
      if (!row.empty()) rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 64u) << c.name;
    EXPECT_EQ(Cp1251ToUtf8(dump.Summary()), c.summary) << c.name;
  }
}

TEST(TestProtocol, RowText) {
  RegisterDump dump;
  EXPECT_EQ(dump.Add(0x1C, true, 0x4B1C), "");
  EXPECT_EQ(dump.Add(0x1D, false, 0), "");
  EXPECT_EQ(dump.Add(0x1E, true, 0xFFFF), "");
  EXPECT_EQ(dump.Add(0x1F, true, 0x0001), "1C-1F: 4B1C ---- FFFF 0001\r\n");
}

}  // namespace
