// The converter's settings rules on records, without a page or a converter: each
// refusal, warning and correction with its field, value and the exact text,
// caption and icon the user reads today.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "common/notice_styles.h"
#include "device/settings_rules.h"
#include "settings/converter_settings.h"

namespace {

using namespace settings_rules;

constexpr const char* kCannotDo = "Нельзя выполнить операцию";

// A record that keeps every rule unless a case says otherwise: 9600 8-n-1,
// address 16 with 8 bits, RAVIK, delay 2.
struct Line {
  int32_t baud = 9600, bytesize = 8, parity = 0, stopbits = 0, address = 16, alen = 8,
          proto = 0, delay = 2;
  operator PortSettings() const {
    return {.baud = baud, .bytesize = bytesize, .parity = parity, .stopbits = stopbits,
            .address = address, .alen = alen, .proto = proto, .delay = delay};
  }
};

DeviceDescription Instrument(const char* utf8_name, int32_t flags, int32_t pollmax) {
  DeviceDescription d;
  d.name = Utf8ToCp1251(utf8_name);
  d.version = "1";
  d.validbauds = {2400, 9600, 19200};
  d.minpolls = {5, -1, 2};  // 9600 takes pollmin
  d.pollmin = 3;
  d.pollmax = pollmax;
  d.defbaud = 9600;
  d.defbytesize = 8;
  d.defparity = 0;
  d.defstopbits = 0;
  d.flags = flags;
  return d;
}
// Only the rate may be chosen; polled every 3 to 30 seconds.
const DeviceDescription kFixed = Instrument("Прибор", kChooseBaud, 30);
// Every line value may be chosen.
const DeviceDescription kOpen =
    Instrument("ZR-40", kChooseBaud | kChooseByteSize | kChooseParity | kChooseStopBits, 1000);
// Polling maxima with the 16-bit value's top bit set.
const DeviceDescription kWide = Instrument("ZR-40", kChooseBaud, 40000);
const DeviceDescription kWidest = Instrument("ZR-40", kChooseBaud, 65535);

struct Expected {
  Rule rule;
  Kind kind;
  Field field;
  int32_t value;
  std::optional<int32_t> replacement;
  const char* text;
  const char* caption;
  unsigned icon;
};

void ExpectFinding(const std::optional<Finding>& found, const Expected& e) {
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->rule, e.rule);
  EXPECT_EQ(found->kind, e.kind);
  EXPECT_EQ(found->field, e.field);
  EXPECT_EQ(found->value, e.value);
  EXPECT_EQ(found->replacement, e.replacement);
  EXPECT_EQ(found->text, e.text);
  EXPECT_EQ(found->caption, e.caption);
  EXPECT_EQ(found->icon, e.icon);
}

// A correction made puts the replacement into the finding's field, and the rule
// holds afterwards; anything else leaves the record as it was.
void ExpectApplied(const Finding& finding, const PortSettings& before) {
  PortSettings record = before;
  ApplyCorrection(finding, record);
  if (finding.kind != Kind::kCorrect) {
    EXPECT_EQ(record, before);
    return;
  }
  EXPECT_EQ(record.*FieldMember(finding.field), finding.replacement);
  EXPECT_FALSE(Check(finding.rule, record).has_value());
}

struct SetCase {
  const char* name;
  Line record;
  Expected finding;
};

// The RS-485 set, in the order its rules are checked.
TEST(SettingsRules, Rs485SetFindings) {
  const SetCase cases[] = {
      {"word length 9", {.bytesize = 9},
       {Rule::kWordLengthValue, Kind::kRefuse, Field::kByteSize, 9, 8,
        "длина слова 9: допустимо 7 или 8", kCannotDo, kNoticeIconError}},
      {"address length 16", {.alen = 16},
       {Rule::kAddressLengthValue, Kind::kRefuse, Field::kAddressLength, 16, 8,
        "длина адреса 16: допустимо 8 или 11", kCannotDo, kNoticeIconError}},
      {"address 255 with 8 bits", {.address = 255},
       {Rule::kAddressRange, Kind::kRefuse, Field::kAddress, 255, std::nullopt,
        "Недопустимое значение сетевого адреса: 255\n"
        "правильное значение при данном типе адресации от 0 до 254",
        kCannotDo, kNoticeIconError}},
      {"address -1", {.address = -1},
       {Rule::kAddressRange, Kind::kRefuse, Field::kAddress, -1, std::nullopt,
        "Недопустимое значение сетевого адреса: -1\n"
        "правильное значение при данном типе адресации от 0 до 254",
        kCannotDo, kNoticeIconError}},
      {"address 2048 with 11 bits", {.address = 2048, .alen = 11},
       {Rule::kAddressRange, Kind::kRefuse, Field::kAddress, 2048, std::nullopt,
        "Недопустимое значение сетевого адреса: 2048\n"
        "правильное значение при данном типе адресации от 0 до 2047",
        kCannotDo, kNoticeIconError}},
      {"delay 46", {.delay = 46},
       {Rule::kDelayRange, Kind::kRefuse, Field::kDelay, 46, 20,
        "Недопустимое значение задержки: 46\nправильное значение от 0 до 45", kCannotDo,
        kNoticeIconError}},
      {"delay -1", {.delay = -1},
       {Rule::kDelayRange, Kind::kRefuse, Field::kDelay, -1, 20,
        "Недопустимое значение задержки: -1\nправильное значение от 0 до 45", kCannotDo,
        kNoticeIconError}},
      {"Modbus RTU with 7 bits", {.bytesize = 7, .parity = 2, .proto = 2},
       {Rule::kModbusRtuWordLength, Kind::kCorrect, Field::kByteSize, 7, 8,
        "Недопустимое значение длинны слова данных: 7\n"
        "Для протокола Modbus-RTU правильное значение 8",
        kCannotDo, kNoticeIconError}},
      {"Modbus ASCII with 8 bits", {.proto = 1},
       {Rule::kModbusAsciiWordLength, Kind::kCorrect, Field::kByteSize, 8, 7,
        "Недопустимое значение длинны слова данных: 8\n"
        "Для протокола Modbus-ASCII правильное значение 7",
        kCannotDo, kNoticeIconError}},
      {"Modbus RTU with an 11-bit address", {.address = 100, .alen = 11, .proto = 2},
       {Rule::kModbusAddressLength, Kind::kCorrect, Field::kAddressLength, 11, 8,
        "протоколы Modbus допускают только 8-битный адрес", kCannotDo, kNoticeIconError}},
      {"7-n-1", {.bytesize = 7},
       {Rule::kRs485UnsupportedFrame, Kind::kWarn, Field::kFrame, 7, std::nullopt,
        "Внимание, этот режим не поддерживается KV4T!", "Неверные сетевые настройки (1)",
        kNoticeIconWarning}},
      {"8-o-2", {.parity = 1, .stopbits = 2},
       {Rule::kRs485UnsupportedFrame, Kind::kWarn, Field::kFrame, 8, std::nullopt,
        "Внимание, этот режим не поддерживается KV4T!", "Неверные сетевые настройки (1)",
        kNoticeIconWarning}},
      {"8-e-2", {.parity = 2, .stopbits = 2},
       {Rule::kRs485UnsupportedFrame, Kind::kWarn, Field::kFrame, 8, std::nullopt,
        "Внимание, этот режим не поддерживается KV4T!", "Неверные сетевые настройки (1)",
        kNoticeIconWarning}},
      // The order: the address before the delay, the delay before the word length,
      // the frame last.
      {"address and delay out of range", {.address = 255, .delay = 46},
       {Rule::kAddressRange, Kind::kRefuse, Field::kAddress, 255, std::nullopt,
        "Недопустимое значение сетевого адреса: 255\n"
        "правильное значение при данном типе адресации от 0 до 254",
        kCannotDo, kNoticeIconError}},
      {"delay and Modbus word length", {.bytesize = 7, .proto = 2, .delay = 46},
       {Rule::kDelayRange, Kind::kRefuse, Field::kDelay, 46, 20,
        "Недопустимое значение задержки: 46\nправильное значение от 0 до 45", kCannotDo,
        kNoticeIconError}},
      {"Modbus RTU 8-e-2 with an 11-bit address",
       {.parity = 2, .stopbits = 2, .alen = 11, .proto = 2},
       {Rule::kModbusAddressLength, Kind::kCorrect, Field::kAddressLength, 11, 8,
        "протоколы Modbus допускают только 8-битный адрес", kCannotDo, kNoticeIconError}},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Finding> found = CheckRs485Set(c.record);
    ExpectFinding(found, c.finding);
    if (found) ExpectApplied(*found, c.record);
  }
}

// Values the converter has no code for, as a configuration file or the console
// tool's options may carry them, in the order their rules are checked.
TEST(SettingsRules, Rs485CodeFindings) {
  const SetCase cases[] = {
      {"rate 1200", {.baud = 1200},
       {Rule::kStandardRate, Kind::kRefuse, Field::kBaud, 1200, 9600,
        "скорость 1200 не поддерживается", kCannotDo, kNoticeIconError}},
      {"rate 0", {.baud = 0},
       {Rule::kStandardRate, Kind::kRefuse, Field::kBaud, 0, 9600,
        "скорость 0 не поддерживается", kCannotDo, kNoticeIconError}},
      {"parity 3", {.parity = 3},
       {Rule::kParityValue, Kind::kRefuse, Field::kParity, 3, std::nullopt,
        "чётность 3: допустимо 0, 1 или 2", kCannotDo, kNoticeIconError}},
      {"parity -1", {.parity = -1},
       {Rule::kParityValue, Kind::kRefuse, Field::kParity, -1, std::nullopt,
        "чётность -1: допустимо 0, 1 или 2", kCannotDo, kNoticeIconError}},
      // One and a half stop bits: the channel's 1, which the converter has no code for.
      {"stop bits 1", {.stopbits = 1},
       {Rule::kStopBitsValue, Kind::kRefuse, Field::kStopBits, 1, std::nullopt,
        "стоп-биты 1: допустимо 0 или 2", kCannotDo, kNoticeIconError}},
      {"stop bits 3", {.stopbits = 3},
       {Rule::kStopBitsValue, Kind::kRefuse, Field::kStopBits, 3, std::nullopt,
        "стоп-биты 3: допустимо 0 или 2", kCannotDo, kNoticeIconError}},
      {"protocol 7", {.proto = 7},
       {Rule::kProtocolValue, Kind::kRefuse, Field::kProtocol, 7, std::nullopt,
        "протокол 7: допустимо 0, 1 или 2", kCannotDo, kNoticeIconError}},
      {"protocol -1", {.proto = -1},
       {Rule::kProtocolValue, Kind::kRefuse, Field::kProtocol, -1, std::nullopt,
        "протокол -1: допустимо 0, 1 или 2", kCannotDo, kNoticeIconError}},
      {"rate before parity, stop bits and protocol",
       {.baud = 1200, .parity = 3, .stopbits = 1, .proto = 7},
       {Rule::kStandardRate, Kind::kRefuse, Field::kBaud, 1200, 9600,
        "скорость 1200 не поддерживается", kCannotDo, kNoticeIconError}},
      {"parity before stop bits", {.parity = 3, .stopbits = 1},
       {Rule::kParityValue, Kind::kRefuse, Field::kParity, 3, std::nullopt,
        "чётность 3: допустимо 0, 1 или 2", kCannotDo, kNoticeIconError}},
      {"stop bits before protocol", {.stopbits = 1, .proto = 7},
       {Rule::kStopBitsValue, Kind::kRefuse, Field::kStopBits, 1, std::nullopt,
        "стоп-биты 1: допустимо 0 или 2", kCannotDo, kNoticeIconError}},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Finding> found = CheckRs485Codes(c.record);
    ExpectFinding(found, c.finding);
    if (found) ExpectApplied(*found, c.record);
  }
}

TEST(SettingsRules, LinkSetFindings) {
  const SetCase cases[] = {
      {"address 300 with 8 bits", {.address = 300},
       {Rule::kAddressRange, Kind::kRefuse, Field::kAddress, 300, std::nullopt,
        "Недопустимое значение сетевого адреса: 300\n"
        "правильное значение при данном типе адресации от 0 до 254",
        kCannotDo, kNoticeIconError}},
      // Any address length but 11 means 8-bit addresses.
      {"address 300 with 16 bits", {.address = 300, .alen = 16},
       {Rule::kAddressRange, Kind::kRefuse, Field::kAddress, 300, std::nullopt,
        "Недопустимое значение сетевого адреса: 300\n"
        "правильное значение при данном типе адресации от 0 до 254",
        kCannotDo, kNoticeIconError}},
      // The computer-port page's caption has no "(1)".
      {"8-e-2", {.parity = 2, .stopbits = 2},
       {Rule::kLinkUnsupportedFrame, Kind::kWarn, Field::kFrame, 8, std::nullopt,
        "Внимание, этот режим не поддерживается KV4T!", "Неверные сетевые настройки",
        kNoticeIconWarning}},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectFinding(CheckLinkSet(c.record), c.finding);
  }
}

struct LoopCase {
  const char* name;
  const DeviceDescription* entry;
  Line record;
  Expected finding;
};

TEST(SettingsRules, LoopSetFindings) {
  const LoopCase cases[] = {
      {"instrument not in the catalogue", nullptr, {.delay = 3},
       {Rule::kUnknownInstrument, Kind::kWarn, Field::kInstrument, 0, std::nullopt,
        "Прочитан или установлен неизвестный тип прибора!", "Предупреждение",
        kNoticeIconWarning}},
      {"rate not the instrument's", &kOpen, {.baud = 4800, .delay = 3},
       {Rule::kInstrumentRate, Kind::kRefuse, Field::kBaud, 4800, 9600,
        "скорость 4800 не допускается прибором ZR-40", kCannotDo, kNoticeIconError}},
      {"fixed word length", &kFixed, {.bytesize = 7, .delay = 3},
       {Rule::kInstrumentByteSize, Kind::kRefuse, Field::kByteSize, 7, 8,
        "прибор Прибор не позволяет менять длину слова", kCannotDo, kNoticeIconError}},
      {"fixed parity", &kFixed, {.parity = 2, .delay = 3},
       {Rule::kInstrumentParity, Kind::kRefuse, Field::kParity, 2, 0,
        "прибор Прибор не позволяет менять чётность", kCannotDo, kNoticeIconError}},
      {"fixed stop bits", &kFixed, {.stopbits = 2, .delay = 3},
       {Rule::kInstrumentStopBits, Kind::kRefuse, Field::kStopBits, 2, 0,
        "прибор Прибор не позволяет менять число стоп-бит", kCannotDo, kNoticeIconError}},
      {"word length 9 where it may be chosen", &kOpen, {.bytesize = 9, .delay = 3},
       {Rule::kWordLengthValue, Kind::kRefuse, Field::kByteSize, 9, 8,
        "длина слова 9: допустимо 7 или 8", kCannotDo, kNoticeIconError}},
      // 60 seconds at most, whatever the instrument's maximum.
      {"poll 61", &kOpen, {.delay = 61},
       {Rule::kPollRange, Kind::kRefuse, Field::kDelay, 61, std::nullopt,
        "Недопустимое значение частоты опроса: 61\nправильное значение от 1 до 60", kCannotDo,
        kNoticeIconError}},
      {"poll 0", &kOpen, {.delay = 0},
       {Rule::kPollRange, Kind::kRefuse, Field::kDelay, 0, std::nullopt,
        "Недопустимое значение частоты опроса: 0\nправильное значение от 1 до 60", kCannotDo,
        kNoticeIconError}},
      {"poll above the instrument's maximum", &kFixed, {.delay = 31},
       {Rule::kInstrumentPoll, Kind::kRefuse, Field::kDelay, 31, std::nullopt,
        "частота опроса 31: прибор допускает от 3 до 30 на скорости 9600", kCannotDo,
        kNoticeIconError}},
      {"poll below the instrument's least at the rate", &kOpen, {.baud = 2400, .delay = 4},
       {Rule::kInstrumentPoll, Kind::kRefuse, Field::kDelay, 4, std::nullopt,
        "частота опроса 4: прибор допускает от 5 до 1000 на скорости 2400", kCannotDo,
        kNoticeIconError}},
      {"rate before the fixed values", &kFixed, {.baud = 4800, .bytesize = 7, .delay = 3},
       {Rule::kInstrumentRate, Kind::kRefuse, Field::kBaud, 4800, 9600,
        "скорость 4800 не допускается прибором Прибор", kCannotDo, kNoticeIconError}},
  };
  for (const LoopCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectFinding(CheckLoopSet(c.record, c.entry), c.finding);
  }
}

struct RuleCase {
  const char* name;
  Line record;
  Expected finding;
};

// The rules the window applies on their own: on loading and saving a page, on
// Apply, in the RS-485 write, before the line test; and the rate of a line given
// to the console tool.
TEST(SettingsRules, CorrectionsAndSingleRules) {
  const char* kAddressCaption = "Неверный адрес";
  const char* kDelayCaption = "Неверныое значение задержки";
  const RuleCase cases[] = {
      {"link address 300 on Apply", {.address = 300},
       {Rule::kLinkAddressCorrection, Kind::kCorrect, Field::kAddress, 300, 16,
        "Адрес 300 вне допустимого диапазона при данном типе адресации.\n"
        "Будет установлено значение адреса равное 16",
        kAddressCaption, kNoticeIconError}},
      {"link address 2048 with 11 bits on Apply", {.address = 2048, .alen = 11},
       {Rule::kLinkAddressCorrection, Kind::kCorrect, Field::kAddress, 2048, 16,
        "Адрес 2048 вне допустимого диапазона при данном типе адресации.\n"
        "Будет установлено значение адреса равное 16",
        kAddressCaption, kNoticeIconError}},
      {"written address 300", {.address = 300},
       {Rule::kConverterAddressCorrection, Kind::kCorrect, Field::kAddress, 300, 254,
        "Адрес 300 вне допустимого диапазона при данном типе адресации.\n"
        "Будет установлено значение адреса равное 254",
        kAddressCaption, kNoticeIconError}},
      {"written address 2048 with 11 bits", {.address = 2048, .alen = 11},
       {Rule::kConverterAddressCorrection, Kind::kCorrect, Field::kAddress, 2048, 2046,
        "Адрес 2048 вне допустимого диапазона при данном типе адресации.\n"
        "Будет установлено значение адреса равное 2046",
        kAddressCaption, kNoticeIconError}},
      {"written address -5", {.address = -5},
       {Rule::kConverterAddressCorrection, Kind::kCorrect, Field::kAddress, -5, 0,
        "Адрес -5 вне допустимого диапазона при данном типе адресации.\n"
        "Будет установлено значение адреса равное 0",
        kAddressCaption, kNoticeIconError}},
      {"delay 46 loaded", {.delay = 46},
       {Rule::kDelayCorrection, Kind::kCorrect, Field::kDelay, 46, 20,
        "Задержка 46 вне допустимого диапазона.\nБудет установлено значение задержки равное 20",
        kDelayCaption, kNoticeIconError}},
      {"delay -1 loaded", {.delay = -1},
       {Rule::kDelayCorrection, Kind::kCorrect, Field::kDelay, -1, 20,
        "Задержка -1 вне допустимого диапазона.\nБудет установлено значение задержки равное 20",
        kDelayCaption, kNoticeIconError}},
      {"negative polling value", {.delay = -1},
       {Rule::kNegativePoll, Kind::kCorrect, Field::kDelay, -1, 3, "", "", 0}},
      {"line test with 7 bits", {.bytesize = 7},
       {Rule::kLineTestWordLength, Kind::kRefuse, Field::kByteSize, 7, std::nullopt,
        "Недопустимое значение длинны слова данных: 7\n"
        "Для проведения теста необходима связь с длинной слова данных 8",
        kCannotDo, kNoticeIconError}},
      {"rate 1200", {.baud = 1200},
       {Rule::kStandardRate, Kind::kRefuse, Field::kBaud, 1200, 9600,
        "скорость 1200 не поддерживается", kCannotDo, kNoticeIconError}},
      // The RS-485 page's list without a choice gives 0; a file may hold 1200.
      {"no rate chosen on the RS-485 page", {.baud = 0},
       {Rule::kRateChosen, Kind::kRefuse, Field::kBaud, 0, std::nullopt,
        "Недопустимое значение скорости обмена\nвыберите скорость обмена из списка", kCannotDo,
        kNoticeIconError}},
      {"rate 1200 on the RS-485 page", {.baud = 1200},
       {Rule::kRateChosen, Kind::kRefuse, Field::kBaud, 1200, std::nullopt,
        "Недопустимое значение скорости обмена\nвыберите скорость обмена из списка", kCannotDo,
        kNoticeIconError}},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Finding> found = Check(c.finding.rule, c.record);
    ExpectFinding(found, c.finding);
    if (found) ExpectApplied(*found, c.record);
  }
}

// Records at the edges of every rule, which they keep.
TEST(SettingsRules, EdgesThatHold) {
  struct Case {
    const char* name;
    std::vector<Rule> rules;
    Line record;
    const DeviceDescription* entry;
  } const cases[] = {
      {"RS-485 as made", {std::begin(kRs485Rules), std::end(kRs485Rules)}, {}, nullptr},
      {"address 254", {std::begin(kRs485Rules), std::end(kRs485Rules)}, {.address = 254}, nullptr},
      {"address 0", {std::begin(kRs485Rules), std::end(kRs485Rules)}, {.address = 0}, nullptr},
      {"address 2047 with 11 bits", {std::begin(kRs485Rules), std::end(kRs485Rules)},
       {.address = 2047, .alen = 11}, nullptr},
      {"delay 0", {std::begin(kRs485Rules), std::end(kRs485Rules)}, {.delay = 0}, nullptr},
      {"delay 45", {std::begin(kRs485Rules), std::end(kRs485Rules)}, {.delay = 45}, nullptr},
      {"7-n-2", {std::begin(kRs485Rules), std::end(kRs485Rules)},
       {.bytesize = 7, .stopbits = 2}, nullptr},
      {"Modbus ASCII 7-e-1", {std::begin(kRs485Rules), std::end(kRs485Rules)},
       {.bytesize = 7, .parity = 2, .proto = 1}, nullptr},
      {"Modbus RTU 8-n-1", {std::begin(kRs485Rules), std::end(kRs485Rules)}, {.proto = 2},
       nullptr},
      // The answer delay is the RS-485 set's rule, not the link's.
      {"link with delay 100", {std::begin(kLinkRules), std::end(kLinkRules)}, {.delay = 100},
       nullptr},
      {"link address 2047 with 11 bits", {Rule::kAddressRange, Rule::kLinkAddressCorrection},
       {.address = 2047, .alen = 11}, nullptr},
      // The converter takes address 255 although the pages refuse it.
      {"written address 255", {Rule::kConverterAddressCorrection}, {.address = 255}, nullptr},
      {"written address 2047", {Rule::kConverterAddressCorrection}, {.address = 2047, .alen = 11},
       nullptr},
      {"delay 45 loaded", {Rule::kDelayCorrection}, {.delay = 45}, nullptr},
      {"delay 0 loaded", {Rule::kDelayCorrection}, {.delay = 0}, nullptr},
      {"polling value 0", {Rule::kNegativePoll}, {.delay = 0}, nullptr},
      {"rate 115200", {Rule::kStandardRate}, {.baud = 115200}, nullptr},
      {"codes as made", {std::begin(kRs485CodeRules), std::end(kRs485CodeRules)}, {}, nullptr},
      {"codes at their other ends", {std::begin(kRs485CodeRules), std::end(kRs485CodeRules)},
       {.baud = 2400, .parity = 2, .stopbits = 2, .proto = 2}, nullptr},
      {"odd parity, Modbus ASCII, 115200", {std::begin(kRs485CodeRules), std::end(kRs485CodeRules)},
       {.baud = 115200, .parity = 1, .proto = 1}, nullptr},
      {"rate 2400 chosen", {Rule::kRateChosen}, {.baud = 2400}, nullptr},
      {"loop as made", {std::begin(kLoopRules), std::end(kLoopRules)}, {.delay = 3}, &kFixed},
      {"loop at the least poll for 19200", {std::begin(kLoopRules), std::end(kLoopRules)},
       {.baud = 19200, .delay = 2}, &kOpen},
      {"loop values all chosen", {std::begin(kLoopRules), std::end(kLoopRules)},
       {.bytesize = 7, .parity = 2, .stopbits = 2, .delay = 30}, &kOpen},
      {"poll 60 where the instrument allows 1000", {std::begin(kLoopRules), std::end(kLoopRules)},
       {.delay = 60}, &kOpen},
      // A maximum of 32768 and more is a 16-bit value without sign, as the window's
      // spin takes it: every interval the window accepts stays allowed.
      {"poll 1 to 60 where the instrument allows 40000",
       {std::begin(kLoopRules), std::end(kLoopRules)}, {.baud = 19200, .delay = 2}, &kWide},
      {"poll 60 where the instrument allows 40000", {std::begin(kLoopRules), std::end(kLoopRules)},
       {.delay = 60}, &kWide},
      {"poll 60 where the instrument allows 65535", {std::begin(kLoopRules), std::end(kLoopRules)},
       {.delay = 60}, &kWidest},
      // Without an entry only the unknown instrument is reported.
      {"instrument rules without an entry",
       {Rule::kInstrumentRate, Rule::kInstrumentByteSize, Rule::kInstrumentPoll},
       {.baud = 1, .bytesize = 7, .delay = 1000}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Finding> found = FirstFinding(c.rules, c.record, c.entry);
    EXPECT_FALSE(found.has_value()) << found->text;
  }
}

TEST(SettingsRules, InstrumentPollBounds) {
  DeviceDescription wide = kOpen;
  wide.pollmax = 40000;  // taken as an unsigned 16-bit value, as the spin takes it
  DeviceDescription wider = kOpen;
  wider.pollmax = 70000;
  struct Case {
    const DeviceDescription* entry;
    int32_t baud, least, most;
  } const cases[] = {
      {&kOpen, 2400, 5, 1000},
      {&kOpen, 9600, 3, 1000},  // a negative minimum stands for pollmin
      {&kOpen, 4800, 3, 1000},  // so does a rate the instrument does not have
      {&kOpen, 19200, 2, 1000},
      {&wide, 9600, 3, 40000},
      {&wider, 9600, 3, 4464},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.entry->pollmax << " at " << c.baud);
    const PollBounds bounds = InstrumentPollBounds(*c.entry, c.baud);
    EXPECT_EQ(bounds.least, c.least);
    EXPECT_EQ(bounds.most, c.most);
  }
}

TEST(SettingsRules, RefusedFramesAreExactlyThree) {
  std::vector<std::vector<int32_t>> refused;
  for (int32_t bits : {7, 8})
    for (int32_t parity : {0, 1, 2})
      for (int32_t stop : {0, 1, 2})
        if (IsRefusedFrame(bits, parity, stop)) refused.push_back({bits, parity, stop});
  EXPECT_EQ(refused, (std::vector<std::vector<int32_t>>{{7, 0, 0}, {8, 1, 2}, {8, 2, 2}}));
}

// The settings the converter leaves the factory with are the link set's defaults.
TEST(SettingsRules, FactorySettingsAreTheLinkDefaults) {
  ConverterSettings settings;
  PortSettings defaults;
  settings.ResetPortDefaults(&defaults);
  const PortSettings factory = ConverterFactorySettings();
  for (int32_t PortSettings::*field : {&PortSettings::baud, &PortSettings::bytesize,
                                       &PortSettings::parity, &PortSettings::stopbits,
                                       &PortSettings::address, &PortSettings::alen})
    EXPECT_EQ(factory.*field, defaults.*field);
  EXPECT_FALSE(CheckLinkSet(factory).has_value());
}

}  // namespace
