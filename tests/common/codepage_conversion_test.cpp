#include <gtest/gtest.h>

#include <string>

#include "common/code_pages.h"

namespace {

TEST(Codepage, EveryWindows1251ByteSurvivesEveryRoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(WideToCp1251(Cp1251ToWide(all)), all);
  EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16(all)), all);
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(WideToUtf16(Utf16ToWide(Cp1251ToUtf16(all))), Cp1251ToUtf16(all));
  EXPECT_EQ(Utf8ToWide(WideToUtf8(Cp1251ToWide(all))), Cp1251ToWide(all));
}

struct Sample {
  const char* cp1251;
  const char* utf8;
};

// Windows-1251 bytes against the same text in UTF-8.
const Sample kSamples[] = {
    {"", ""},
    {"ZR-40", "ZR-40"},
    {"\xC0\xE1\xE2 \xDF\xFF", "Абв Яя"},
    {"\xA8\xB8", "Ёё"},
    {"\xB9 \x80\x81 \xAA\xBA \xB2\xB3 \xAF\xBF", "№ ЂЃ Єє Іі Її"},
    {"\x88\x96\x97\x85", "€–—…"},
};

TEST(Codepage, Windows1251AgainstUtf8AndUtf16) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.utf8);
    EXPECT_EQ(Cp1251ToUtf8(s.cp1251), s.utf8);
    EXPECT_EQ(Utf8ToCp1251(s.utf8), s.cp1251);
    EXPECT_EQ(WideToUtf8(Cp1251ToWide(s.cp1251)), s.utf8);
    EXPECT_EQ(Utf16ToCp1251(WideToUtf16(Utf8ToWide(s.utf8))), s.cp1251);
  }
}

TEST(Codepage, CharactersWindows1251CannotHoldBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xC3\xA9z"), "a?z");               // é
  EXPECT_EQ(Utf8ToCp1251("\xE4\xB8\xAD"), "?");               // a CJK character
  EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80!"), "?!");         // outside the BMP: one '?'
  EXPECT_EQ(Utf16ToCp1251(u"\U0001F600x"), "?x");             // a surrogate pair: one '?'
  EXPECT_EQ(WideToCp1251(L"\u00E9"), "?");
}

TEST(Codepage, MalformedInputNeverStopsTheConversion) {
  const struct {
    std::string utf8;
    std::string cp1251;
  } cases[] = {
      {"\xFF" "a", "?a"},                // a byte that never starts a sequence
      {"\xD0", "?"},                     // a sequence cut by the end
      {"\xD0" "a", "?a"},                // a lead byte without its continuation
      {"\xC0\x80", "??"},                // an overlong zero
      {"\xED\xA0\x80", "???"},           // an encoded surrogate
      {"\xF4\x90\x80\x80", "????"},      // beyond U+10FFFF
      {"\x80\xBF", "??"},                // stray continuation bytes
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1251(c.utf8), c.cp1251) << testing::PrintToString(c.utf8);
  EXPECT_EQ(Utf16ToCp1251(std::u16string(u"a") + char16_t(0xD800)), "a?");  // lone high surrogate at the end
  EXPECT_EQ(Utf16ToCp1251(std::u16string(1, char16_t(0xDC00)) + u"b"), "?b");
  EXPECT_EQ(WideToUtf8(Utf16ToWide(std::u16string(1, char16_t(0xD800)))), "\xEF\xBF\xBD");
}

TEST(Codepage, DosAndKoi8TextIsDecoded) {
  // "Привет" in each code page.
  EXPECT_EQ(WideToUtf8(DecodeBytes("\x8F\xE0\xA8\xA2\xA5\xE2", TextEncoding::Cp866)), "Привет");
  EXPECT_EQ(WideToUtf8(DecodeBytes("\xF0\xD2\xC9\xD7\xC5\xD4", TextEncoding::Koi8r)), "Привет");
  EXPECT_EQ(WideToUtf8(DecodeBytes("\xCF\xF0\xE8\xE2\xE5\xF2", TextEncoding::Cp1251)), "Привет");
  EXPECT_EQ(WideToUtf8(DecodeBytes("Привет", TextEncoding::Utf8)), "Привет");
  EXPECT_EQ(DecodeToCp1251("\x8F\xE0\xA8\xA2\xA5\xE2 \xF0\xF1", TextEncoding::Cp866), "\xCF\xF0\xE8\xE2\xE5\xF2 \xA8\xB8");
  EXPECT_EQ(DecodeToCp1251("\xB3\xA3", TextEncoding::Koi8r), "\xA8\xB8");
  // Pseudo-graphics have no place in Windows-1251.
  EXPECT_EQ(DecodeToCp1251("\xB0\xC4", TextEncoding::Cp866), "??");
  EXPECT_EQ(DecodeToCp1251("\xCF\x98", TextEncoding::None), "\xCF\x98");
}

TEST(Codepage, EncodingNames) {
  const struct {
    const wchar_t* name;
    TextEncoding encoding;
  } cases[] = {
      {L"UTF-8", TextEncoding::Utf8},   {L"utf-8", TextEncoding::Utf8},    {L"CP1251", TextEncoding::Cp1251},
      {L"cp1251", TextEncoding::Cp1251}, {L"Cp866", TextEncoding::Cp866},   {L"koi8-r", TextEncoding::Koi8r},
      {L"UTF8", TextEncoding::None},    {L"windows-1251", TextEncoding::None}, {L"", TextEncoding::None},
      {L"UTF-8 ", TextEncoding::None},
  };
  for (const auto& c : cases) EXPECT_EQ(TextEncodingFromName(c.name), c.encoding) << WideToUtf8(c.name);
}

}  // namespace
