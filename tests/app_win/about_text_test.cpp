// The About box's build line: the compiler's date with the month as a Russian word.
#include <gtest/gtest.h>

#include "app/about_dlg_text.h"

namespace {

TEST(RussianBuildDate, EveryMonthAndBothDayWidths) {
  const struct {
    const char* compiler_date;
    const char* expected;
  } cases[] = {
      {"Jan  1 2024", "1 января 2024"},   {"Feb 29 2024", "29 февраля 2024"},
      {"Mar  3 2009", "3 марта 2009"},    {"Apr 10 2010", "10 апреля 2010"},
      {"May  5 2011", "5 мая 2011"},      {"Jun 30 2012", "30 июня 2012"},
      {"Jul  6 2007", "6 июля 2007"},     {"Aug 31 2013", "31 августа 2013"},
      {"Sep  9 2014", "9 сентября 2014"}, {"Oct 12 2015", "12 октября 2015"},
      {"Nov 11 2016", "11 ноября 2016"},  {"Dec 15 2008", "15 декабря 2008"},
  };
  for (const auto& c : cases) EXPECT_EQ(RussianBuildDate(c.compiler_date), c.expected) << c.compiler_date;
}

TEST(RussianBuildDate, TextNotInTheCompilersFormStaysAsItIs) {
  for (const char* text : {"", "Jul", "Jul6", "2007", "Xyz  6 2007", "Jul  62007"})
    EXPECT_EQ(RussianBuildDate(text), text) << '"' << text << '"';
}

TEST(AboutBuildLine, TimeThenConvertedDate) {
  EXPECT_EQ(AboutBuildLine("12:39:07", "Jul  6 2007"), "Скомпилировано 12:39:07 6 июля 2007");
  EXPECT_EQ(AboutBuildLine("00:00:00", "Dec 15 2008"), "Скомпилировано 00:00:00 15 декабря 2008");
}

TEST(AboutBuildLine, TheCompilersOwnDateConverts) {
  // Whatever day this is built on, the month comes out in Russian.
  const std::string date = RussianBuildDate(__DATE__);
  EXPECT_EQ(date.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << date;
  EXPECT_NE(date.front(), ' ');
}

}  // namespace
