// The commissioning plan and report readers on tables of files: encodings and
// separators as spreadsheets save them, the defaults, every refusal with its row,
// the report written and read back, and a report held against its plan.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "cli/commission_plan.h"
#include "cli/commission_report.h"
#include "common/code_pages.h"

namespace {

// A row as SettingsText shows its target.
using Row = std::pair<std::string, std::string>;
// A finding's row and a part of its text.
using Finding = std::pair<int, std::string>;

struct PlanCase {
  const char* name;
  std::string bytes;
  std::vector<Row> rows;          // accepted: the rows
  std::vector<Finding> findings;  // refused: every finding, in order
  LineArgs defaults{};
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class PlanReader : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanReader, ReadsOrRefusesWithEveryFindingsRow) {
  const PlanCase& c = GetParam();
  Plan plan;
  const std::vector<CsvFinding> findings = ReadPlan(c.bytes, c.defaults, plan);
  ASSERT_EQ(findings.size(), c.findings.size()) << [&] {
    std::string all;
    for (const CsvFinding& f : findings) all += std::to_string(f.row) + ": " + f.text + "\n";
    return all;
  }();
  for (std::size_t i = 0; i < findings.size(); ++i) {
    EXPECT_EQ(findings[i].row, c.findings[i].first) << findings[i].text;
    EXPECT_NE(findings[i].text.find(c.findings[i].second), std::string::npos) << findings[i].text;
  }
  std::vector<Row> rows;
  for (const PlanRow& row : plan.rows) rows.emplace_back(row.tag, SettingsText(row.target, false));
  EXPECT_EQ(rows, c.rows);
}

std::string Cp1251(const char* utf8) { return Utf8ToCp1251(utf8); }

// Defaults as --new-baud 19200 --new-proto rtu give them.
LineArgs RtuAt19200() {
  LineArgs defaults;
  defaults.baud = 19200;
  defaults.proto = 2;
  return defaults;
}

const char kFactoryAt5[] = "9600 8-n-1, адрес 5 (8 бит), протокол RAVIK, задержка 2";

const PlanCase kPlans[] = {
    {"CommaUtf8", "tag,address\nA,5\n", {{"A", kFactoryAt5}}, {}},
    {"SemicolonBomCrLf", "\xEF\xBB\xBFtag;address;baud\r\nНасос;5;19200\r\n",
     {{"Насос", "19200 8-n-1, адрес 5 (8 бит), протокол RAVIK, задержка 2"}}, {}},
    {"Cp1251Semicolon", Cp1251("tag;address\nНасос №1;5\nСчётчик;6"),
     {{"Насос №1", kFactoryAt5}, {"Счётчик", "9600 8-n-1, адрес 6 (8 бит), протокол RAVIK, задержка 2"}},
     {}},
    {"EveryColumnAnyOrderAndCase",
     " Address ,TAG,Protocol,bits,parity,STOP,baud,alen,delay\n42,M,RTU,8,E,1,38400,8,10\n"
     "7,A,modbus-ascii,7,Odd,2,2400,8,0\n",
     {{"M", "38400 8-e-1, адрес 42 (8 бит), протокол MODBUS-RTU, задержка 10"},
      {"A", "2400 7-o-2, адрес 7 (8 бит), протокол MODBUS-ASCII, задержка 0"}},
     {}},
    {"QuotedTag", "tag,address\n\"Насос, \"\"левый\"\"\",5\n", {{"Насос, \"левый\"", kFactoryAt5}}, {}},
    {"EmptyCellsAndTrailingSeparatorsTakeTheDefaults", "tag,address,baud,protocol\nA,5,,\nB,6,4800,,,\n",
     {{"A", "19200 8-n-1, адрес 5 (8 бит), протокол MODBUS-RTU, задержка 2"},
      {"B", "4800 8-n-1, адрес 6 (8 бит), протокол MODBUS-RTU, задержка 2"}},
     {},
     RtuAt19200()},
    {"ElevenBitsNotADuplicateUnlessTheSameRequests", "tag,address,alen\nA,77,8\nB,617,11\nC,615,11\n",
     {{"A", "9600 8-n-1, адрес 77 (8 бит), протокол RAVIK, задержка 2"},
      {"B", "9600 8-n-1, адрес 617 (11 бит), протокол RAVIK, задержка 2"},
      {"C", "9600 8-n-1, адрес 615 (11 бит), протокол RAVIK, задержка 2"}},
     {}},

    {"Address300Of8Bits", "tag,address\nA,300\n", {},
     {{2, "Недопустимое значение сетевого адреса: 300\n"
          "правильное значение при данном типе адресации от 0 до 254"}}},
    {"Address2048Of11Bits", "tag,address,alen\nA,2048,11\n", {}, {{2, "от 0 до 2047"}}},
    {"DuplicateAddress", "tag,address\nA,5\nB,6\nC,5\n", {}, {{4, "адрес 5 уже есть в строке 2"}}},
    {"DuplicateAcrossAddressLengths", "tag,address,alen\nA,616,11\nB,77,8\n", {},
     {{3, "адрес 77 (8 бит) отвечает на те же запросы, что адрес 616 (11 бит) в строке 2"}}},
    {"DuplicateTag", "tag,address\nA,5\nA,6\n", {}, {{3, "метка \"A\" уже есть в строке 2"}}},
    {"ModbusWith11Bits", "tag,address,alen,protocol\nA,5,11,rtu\n", {},
     {{2, "протоколы Modbus допускают только 8-битный адрес"}}},
    {"RtuWith7Bits", "tag,address,bits,parity,protocol\nA,5,7,even,rtu\n", {},
     {{2, "Для протокола Modbus-RTU правильное значение 8"}}},
    {"AsciiWith8Bits", "tag,address,protocol\nA,5,ascii\n", {},
     {{2, "Для протокола Modbus-ASCII правильное значение 7"}}},
    {"RefusedFrames", "tag,address,bits,parity,stop\nA,5,7,none,1\nB,6,8,even,2\n", {},
     {{2, "Внимание, этот режим не поддерживается KV4T!"},
      {3, "Внимание, этот режим не поддерживается KV4T!"}}},
    {"ModbusUnits", "tag,address,protocol\nA,0,rtu\nB,248,rtu\nC,247,rtu\nD,1,rtu\n", {},
     {{2, "широковещательный"}, {3, "адрес 248: адрес устройства Modbus — от 1 до 247"}}},
    {"FactorySettings", "tag,address,alen,baud\nA,16,8,\nB,128,11,\nC,16,8,19200\n", {},
     {{2, "совпадают с заводскими (9600 8-n-1, адрес 16)"}, {3, "совпадают с заводскими"},
      {3, "адрес 128 (11 бит) отвечает на те же запросы, что адрес 16 (8 бит) в строке 2"},
      {4, "адрес 16 уже есть в строке 2"}}},
    {"RateDelayAndCodes", "tag,address,baud,delay,bits,alen\nA,5,1200,46,9,10\n", {},
     {{2, "скорость 1200 не поддерживается"}, {2, "длина слова 9: допустимо 7 или 8"},
      {2, "длина адреса 10: допустимо 8 или 11"}, {2, "Недопустимое значение задержки: 46"}}},
    {"Values", "tag,address,parity,stop,protocol,delay\nA,abc,mark,3,dcon,010\nB,0x10\nC,+5\n", {},
     {{2, "address: \"abc\" — не число"}, {2, "parity: \"mark\" — допустимо none, odd, even"},
      {2, "stop: \"3\" — допустимо 1, 2"}, {2, "protocol: \"dcon\" — допустимо ravik"},
      {2, "delay: \"010\" — число с ведущим нулём"}, {3, "address: \"0x10\" — не число"}}},
    {"MissingValuesAndExtraFields", "tag,address\n,5\nB,\nC,6,7\n", {},
     {{2, "нет метки (tag)"}, {3, "нет адреса (address)"}, {4, "значений больше, чем столбцов"}}},
    {"RowNumbersCountBlankRowsNotQuotedLineEnds", "tag,address\n\n,\n\"a\nb\",5\nC,300\n", {},
     {{4, "в метке управляющий символ"}, {5, "Недопустимое значение сетевого адреса: 300"}}},
    {"LongTag", "tag,address\n" + std::string(65, 'x') + ",5\n", {}, {{2, "метка длиннее 64"}}},
    {"HeaderFaults", "tag,adress,tag\nA,5\n", {},
     {{1, "неизвестный столбец \"adress\""}, {1, "столбец tag повторяется"}, {1, "нет столбца address"}}},
    {"NoRows", "tag,address\n\n", {}, {{1, "нет ни одной строки"}}},
    {"Empty", "", {}, {{0, "план пуст"}}},
    {"Utf16", std::string("\xFF\xFEt\0a\0", 6), {}, {{0, "UTF-16"}}},
    {"UnclosedQuote", "tag,address\nA,5\n\"B,6\n", {}, {{0, "строка 3: кавычка не закрыта"}}},
    {"TextAfterClosingQuote", "tag,address\n\"A\"x,5\n", {}, {{0, "строка 2: после закрывающей"}}},
};
INSTANTIATE_TEST_SUITE_P(Cases, PlanReader, ::testing::ValuesIn(kPlans),
                         [](const auto& info) { return std::string(info.param.name); });

// The sample plan of the documentation, as a spreadsheet saves it.
TEST(CommissionPlan, SampleOfTheDocumentationIsAccepted) {
  std::ifstream in(KV4T_DOCS_DIR "/commission-plan.csv", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Plan plan;
  const std::vector<CsvFinding> findings = ReadPlan(bytes, {}, plan);
  EXPECT_TRUE(findings.empty()) << (findings.empty() ? "" : findings.front().text);
  EXPECT_EQ(plan.separator, ';');
  ASSERT_EQ(plan.rows.size(), 4u);
  EXPECT_EQ(plan.rows[2].target.proto, 2);
  EXPECT_EQ(plan.rows[3].target.alen, 11);
}

ReportRecord Record(const char* tag, int32_t address, RowOutcome outcome, std::string message) {
  PortSettings target = FactoryTarget();
  target.address = address;
  return {.tag = tag, .target = target, .device = "KS4T", .version = "KV4T-1.3",
          .time = "2024-05-06T07:08:09Z", .outcome = outcome, .message = std::move(message)};
}

// What is written reads back the same, in either separator, with texts that need
// quotes; the title names the format.
TEST(CommissionReport, ReadsBackWhatItWrites) {
  const std::vector<ReportRecord> records = {
      Record("Насос, \"левый\"", 5, RowOutcome::kDone, ""),
      Record(" Счётчик; 2 ", 6, RowOutcome::kFailed, "не отвечает;\nпроверьте кабель"),
      Record("C", 7, RowOutcome::kSkipped, "")};
  for (char separator : {',', ';'}) {
    const std::string text = WriteReport(records, separator);
    EXPECT_EQ(text.rfind(std::string("\xEF\xBB\xBFkv4t commission report") + separator + "1\r\n", 0),
              0u);
    std::vector<ReportRecord> back;
    EXPECT_TRUE(ReadReport(text, back).empty());
    EXPECT_EQ(back, records) << text;
  }
  std::vector<ReportRecord> none;
  EXPECT_TRUE(ReadReport("", none).empty());
  EXPECT_TRUE(none.empty());
}

TEST(CommissionReport, RefusesWhatIsNotAReportOfItsFormat) {
  const std::string header =
      "tag,address,alen,baud,bits,parity,stop,protocol,delay,device,version,time,outcome,message\n";
  const std::pair<std::string, Finding> cases[] = {
      {"tag,address\nA,5\n", {1, "это не отчёт kv4t commission"}},
      {"kv4t commission report,2\n" + header, {1, "это не отчёт kv4t commission"}},
      {"kv4t commission report,1\n", {2, "нет заголовка"}},
      {"kv4t commission report,1\ntag,address\n", {2, "нет столбца alen"}},
      {"kv4t commission report,1\n" + header + "A,5,8,9600,8,none,1,ravik,2,KS4T,1,t,finished,\n",
       {3, "outcome: \"finished\""}},
      {"kv4t commission report,1\n" + header + "A,5,8,9600,8,none,1,ravik,,KS4T,1,t,done,\n",
       {3, "нет значения delay"}},
      {"kv4t commission report,1\n" + header + "A,5,8,9600,8,none,1,ravik,2,,,,done,\n"
           "A,6,8,9600,8,none,1,ravik,2,,,,done,\n",
       {4, "метка \"A\" уже есть в строке 3"}},
  };
  // The first finding of each.
  for (const auto& [text, finding] : cases) {
    std::vector<ReportRecord> records;
    const std::vector<CsvFinding> findings = ReadReport(text, records);
    ASSERT_FALSE(findings.empty()) << text;
    EXPECT_EQ(findings[0].row, finding.first) << text;
    EXPECT_NE(findings[0].text.find(finding.second), std::string::npos) << findings[0].text;
    EXPECT_TRUE(records.empty());
  }
}

// A report belongs to its plan when every tag it holds is the plan's, with the
// settings the plan gives it now.
TEST(CommissionReport, MatchesItsPlanOnly) {
  Plan plan;
  ASSERT_TRUE(ReadPlan("tag,address\nA,5\nB,6\n", {}, plan).empty());
  std::vector<ReportRecord> records;
  ASSERT_TRUE(ReadReport(WriteReport({Record("B", 6, RowOutcome::kDone, "")}, ','), records).empty());
  EXPECT_TRUE(MatchReport(plan, records).empty());

  ASSERT_TRUE(ReadReport(WriteReport({Record("A", 5, RowOutcome::kDone, ""),
                                      Record("B", 7, RowOutcome::kDone, ""),
                                      Record("X", 8, RowOutcome::kFailed, "")},
                                     ','),
                         records)
                  .empty());
  const std::vector<CsvFinding> findings = MatchReport(plan, records);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].row, 4);
  EXPECT_NE(findings[0].text.find("метка \"B\": в отчёте 9600 8-n-1, адрес 7"), std::string::npos)
      << findings[0].text;
  EXPECT_NE(findings[0].text.find("в плане (строка 3) 9600 8-n-1, адрес 6"), std::string::npos);
  EXPECT_EQ(findings[1], (CsvFinding{5, "метки \"X\" в плане нет"}));
}

}  // namespace
