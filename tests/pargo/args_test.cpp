// The parser inside the library: tokenizer, keyword table, value rules and the
// reading of numbers.
#include "pargo/args.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using pargo::argument;

struct tokenize_case {
  const char* what;
  std::string line;
  std::vector<std::string> tokens;
};

TEST(PargoTokenize, SplitsLikeTheCommandLineIsWritten) {
  const tokenize_case cases[] = {
      {"empty line", "", {}},
      {"blank line", "    ", {}},
      {"two spaces give no empty token", "a  b", {"a", "b"}},
      {"leading and trailing spaces", "  a b  ", {"a", "b"}},
      {"tab is an ordinary character", "a\tb c", {"a\tb", "c"}},
      {"quotes keep inner spaces and are dropped", "\"a  b\" c", {"a  b", "c"}},
      {"quotes in the middle of a word", "x\"a b\"y", {"xa by"}},
      {"empty quotes give no token", "\"\" a", {"a"}},
      {"unterminated quote runs to the end", "\"a b  c", {"a b  c"}},
      {"backslash before a quote keeps both and does not toggle", "a\\\"b c", {"a\\\"b", "c"}},
      {"escaped space does not split", "a\\ b", {"a\\ b"}},
      {"escaped slash does not split", "/device:a\\/b", {"/device:a\\/b"}},
      {"double backslash keeps both", "a\\\\b", {"a\\\\b"}},
      {"backslash at the very end is dropped", "abc\\", {"abc"}},
      {"lone backslash", "\\", {}},
      {"switches without a space between", "/read/port:5", {"/read", "/port:5"}},
      {"value directly followed by a switch", "/port:5/bps:9600 x", {"/port:5", "/bps:9600", "x"}},
      {"slash inside quotes starts a new token", "\"ab/cd ef\"", {"ab", "/cd ef"}},
      {"slash after a quoted value", "/device:\"My box\"/read", {"/device:My box", "/read"}},
      {"two slashes", "//", {"/", "/"}},
      {"word then switch", "file.cfg/silent", {"file.cfg", "/silent"}},
      {"8-bit bytes kept", "\xcf\xf0\xe8\xe1\xee\xf0 \xff", {"\xcf\xf0\xe8\xe1\xee\xf0", "\xff"}},
  };
  for (const auto& c : cases) {
    std::string pool;
    auto views = pargo::tokenize(c.line, pool);
    std::vector<std::string> tokens(views.begin(), views.end());
    EXPECT_EQ(tokens, c.tokens) << c.what;
  }
}

struct token_case {
  const char* token;
  int key;
  int type;
  int number;
  std::string text;
  int io;
  bool missing;
};

constexpr int none = pargo::value_none;
constexpr int integer = pargo::value_integer;
constexpr int string = pargo::value_string;
constexpr int on_off = pargo::value_on_off;

TEST(PargoParseToken, ValueRules) {
  const token_case cases[] = {
      // positional words and unknown switches
      {"plain", 1, string, 0, "plain", 0, false},
      {"a:b", 1, string, 0, "a:b", 0, false},
      {"/nosuch:5", 0, none, 0, "", 0, false},
      {"/", 0, none, 0, "", 0, false},
      {"/:5", 0, none, 0, "", 0, false},
      {"/portx:5", 0, none, 0, "", 0, false},
      // integers: base from the prefix, case of the keyword ignored
      {"/PORT:0x10", 7, integer, 16, "", 0, false},
      {"/port:16", 7, integer, 16, "", 0, false},
      {"/port:010", 7, integer, 8, "", 0, false},
      {"/Port:0X1f", 7, integer, 31, "", 0, false},
      {"/port", 7, integer, 0, "", 0, true},
      {"/port:", 7, integer, 0, "", 0, true},
      {"/port:abc", 7, integer, 0, "", 0, false},
      {"/port:12abc", 7, integer, 12, "", 0, false},
      {"/port:3:4", 7, integer, 3, "", 0, false},
      {"/bps:115200", 8, integer, 115200, "", 0, false},
      {"/x:-10", 16, integer, -10, "", 0, false},
      {"/y:4294967295", 17, integer, -1, "", 0, false},
      {"/w:2147483648", 18, integer, INT_MIN, "", 0, false},
      {"/h:99999999999999999999", 19, integer, -1, "", 0, false},
      {"/at.off:500", 26, integer, 500, "", 0, false},
      {"/AT.ON:0x20", 27, integer, 32, "", 0, false},
      // special words
      {"/prty:EVEN", 9, integer, 2, "", 0, false},
      {"/prty:odd", 9, integer, 1, "", 0, false},
      {"/prty:none", 9, integer, 0, "", 0, false},
      {"/prty:2", 9, integer, 0, "", 0, false},
      {"/sbit:1", 12, integer, 0, "", 0, false},
      {"/sbit:1.5", 12, integer, 1, "", 0, false},
      {"/sbit:2", 12, integer, 2, "", 0, false},
      {"/sbit:3", 12, integer, 0, "", 0, false},
      {"/rs485:auto", 14, integer, -1, "", 0, false},
      {"/rs485:ON", 14, integer, 1, "", 0, false},
      {"/rs485:Off", 14, integer, 0, "", 0, false},
      {"/rs485:maybe", 14, integer, -1, "", 0, false},
      {"/rs485", 14, integer, 0, "", 0, true},
      // on/off
      {"/autoread:on", 20, on_off, 1, "", 0, false},
      {"/AutoWrite:ON", 21, on_off, 1, "", 0, false},
      {"/autoread:off", 20, on_off, 0, "", 0, false},
      {"/autoread:yes", 20, on_off, 0, "", 0, false},
      {"/autoread", 20, on_off, 0, "", 0, true},
      // switches without value type ignore a value
      {"/read", 2, none, 0, "", 0, false},
      {"/WRITE:now", 3, none, 0, "", 0, false},
      {"/silent:", 22, none, 0, "", 0, false},
      // strings: the text after the first colon as is
      {"/device:KS4T", 24, string, 0, "KS4T", 0, false},
      {"/devver:a:b", 25, string, 0, "a:b", 0, false},
      {"/ExitEvent:Ev 1", 31, string, 0, "Ev 1", 0, false},
      {"/uni", 33, string, 0, "", 0, true},
      // io channels
      {"/io:pipe:name", 34, string, 0, "name", 2, false},
      {"/io:PIPE:a:b", 34, string, 0, "a:b", 2, false},
      {"/io:pipe", 34, string, 0, "", 2, true},
      {"/io:pipe:", 34, string, 0, "", 2, true},
      {"/io:socket:5000", 34, integer, 5000, "", 3, false},
      {"/io:socket:0x10", 34, integer, 16, "", 3, false},
      {"/io:socket", 34, integer, 0, "", 3, true},
      {"/io:stdio", 34, none, 0, "", 1, false},
      {"/io:stdio:ignored", 34, none, 0, "", 1, false},
      {"/io:file:x", 34, none, 0, "", 0, false},
      {"/io::x", 34, none, 0, "", 0, false},
      {"/io", 34, string, 0, "", 0, true},
  };
  for (const auto& c : cases) {
    argument a = pargo::parse_token(c.token);
    EXPECT_EQ(a.key, c.key) << c.token;
    EXPECT_EQ(a.type, c.type) << c.token;
    EXPECT_EQ(a.number, c.number) << c.token;
    EXPECT_EQ(std::string(a.text), c.text) << c.token;
    EXPECT_EQ(a.io, c.io) << c.token;
    EXPECT_EQ(a.value_missing, c.missing) << c.token;
  }
}

TEST(PargoReadNumber, UnsignedWithBasePrefixStoredAsInt) {
  const struct {
    const char* text;
    int number;
  } cases[] = {
      {"", 0},          {"0", 0},           {"7", 7},           {"+7", 7},
      {" 12", 12},      {"\t12", 12},       {"0x", 0},          {"0xg", 0},
      {"0x1F", 31},     {"0XfF", 255},      {"017", 15},        {"08", 0},
      {"019", 1},       {"-1", -1},         {"-0x10", -16},     {"--1", 0},
      {"2147483647", INT_MAX},              {"2147483648", INT_MIN},
      {"4294967295", -1},                   {"4294967296", -1},
      {"0xFFFFFFFF", -1},                   {"0x100000000", -1},
      {"-4294967296", -1},                  {"123456789012345678901234567890", -1},
      {"12 34", 12},    {"1e3", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(pargo::read_number(c.text), c.number) << '"' << c.text << '"';
}

TEST(PargoKeywords, EveryKeywordInAnyCaseGivesItsKey) {
  const auto& table = pargo::keyword_table();
  ASSERT_EQ(table.size(), 32u);
  for (const auto& k : table) {
    EXPECT_NE(k.key, 28) << k.name;
    std::string upper(k.name);
    for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    const pargo::keyword* found = pargo::find_keyword(upper);
    ASSERT_NE(found, nullptr) << upper;
    EXPECT_EQ(found->key, k.key) << upper;
    EXPECT_EQ(pargo::parse_token("/" + upper).key, k.key) << upper;
  }
  EXPECT_EQ(pargo::find_keyword(""), nullptr);
  EXPECT_EQ(pargo::find_keyword("por"), nullptr);
  EXPECT_EQ(pargo::find_keyword("ports"), nullptr);
}

// Its arguments view its own pool: a copy would view the original's.
static_assert(!std::is_copy_constructible_v<pargo::argument_list>);
static_assert(!std::is_move_constructible_v<pargo::argument_list>);

TEST(PargoArgumentList, KeepsEveryTokenInOrderAndReplacesTheLastParse) {
  pargo::argument_list list;
  EXPECT_TRUE(list.arguments().empty());

  list.parse("/read cfg.kv4t /nosuch /PORT:3 \"two words\"");
  ASSERT_EQ(list.arguments().size(), 5u);
  EXPECT_EQ(list.line(), "/read cfg.kv4t /nosuch /PORT:3 \"two words\"");
  const int keys[] = {2, 1, 0, 7, 1};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(list.arguments()[i].key, keys[i]) << i;
  EXPECT_EQ(list.arguments()[1].text, "cfg.kv4t");
  EXPECT_EQ(list.arguments()[4].text, "two words");
  EXPECT_EQ(list.tokens()[3], "/PORT:3");

  list.parse("/bps:9600");
  ASSERT_EQ(list.arguments().size(), 1u);
  EXPECT_EQ(list.arguments()[0].number, 9600);

  list.parse("   ");
  EXPECT_TRUE(list.arguments().empty());
  EXPECT_TRUE(list.tokens().empty());
}

TEST(PargoArgumentList, MegabyteLinesOfEveryShapeParseWhole) {
  constexpr std::size_t size = 1 << 20;
  pargo::argument_list list;

  list.parse(std::string(size, '/'));
  EXPECT_EQ(list.arguments().size(), size);

  list.parse(std::string(size, 'a'));
  ASSERT_EQ(list.arguments().size(), 1u);
  EXPECT_EQ(list.arguments()[0].text.size(), size);

  list.parse("/port:" + std::string(size, '9'));
  ASSERT_EQ(list.arguments().size(), 1u);
  EXPECT_EQ(list.arguments()[0].number, -1);

  list.parse("/" + std::string(size, 'p'));
  ASSERT_EQ(list.arguments().size(), 1u);
  EXPECT_EQ(list.arguments()[0].key, 0);

  std::string mixed;
  while (mixed.size() < size) mixed += "/x:1 \"a b\"\\\" ";
  list.parse(mixed);
  EXPECT_EQ(list.arguments().size() % 2, 0u);
  EXPECT_GT(list.arguments().size(), size / 16);
}

}  // namespace
