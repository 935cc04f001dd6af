#include "app/about_dlg_text.h"

#include <array>

namespace {

struct Month {
  std::string_view english;
  std::string_view russian;  // the genitive: "6 июля"
};

// Tested in this order; the first that occurs in the date names its month.
constexpr std::array<Month, 12> kMonths{{
    {"Jan", "января"},  {"Feb", "февраля"}, {"Mar", "марта"},    {"Apr", "апреля"},
    {"May", "мая"},     {"Jun", "июня"},    {"Jul", "июля"},     {"Aug", "августа"},
    {"Sep", "сентября"}, {"Oct", "октября"}, {"Nov", "ноября"},  {"Dec", "декабря"},
}};

}  // namespace

std::string RussianBuildDate(std::string_view compiler_date) {
  const Month* month = nullptr;
  for (const Month& m : kMonths) {
    if (compiler_date.find(m.english) != std::string_view::npos) {
      month = &m;
      break;
    }
  }
  if (!month || compiler_date.size() < 4) return std::string(compiler_date);

  // "Jul  6 2007" -> " 6 2007" -> "6 2007": the month and its space go, and the
  // space that right-aligns a one-digit day.
  std::string_view rest = compiler_date.substr(4);
  if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  const size_t space = rest.find(' ');
  if (space == std::string_view::npos) return std::string(compiler_date);

  std::string out(rest.substr(0, space + 1));
  out += month->russian;
  out += ' ';
  out += rest.substr(space + 1);
  return out;
}

std::string AboutBuildLine(std::string_view compiler_time, std::string_view compiler_date) {
  std::string line = "Скомпилировано ";
  line += compiler_time;
  line += ' ';
  line += RussianBuildDate(compiler_date);
  return line;
}
