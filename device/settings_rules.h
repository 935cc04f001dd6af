// The converter's settings rules, apart from any front end: which values of the
// link set, the RS-485 set and the loop set the converter (and its current-loop
// instrument) cannot take, which the window lets stand with a warning and which
// are replaced by another value. A check looks at a settings record and answers
// nothing when the rule holds, else a finding: what the rule says (refuse, warn,
// or correct to a value), the field, the message, its caption and icon. How to
// react is the front end's choice: the window warns where the console tool
// refuses, and corrects a word length where the console tool refuses it.
//
// The rules for stored values (registry and configuration file) are the
// settings layer's own (store/converter_settings.cpp); the converter's own
// address correction on writing the RS-485 set is kept apart from the pages'
// address limits (device/address_range.h, Rule::kConverterAddressCorrection).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/setting_values.h"
#include "settings/port_settings.h"

struct DeviceDescription;

namespace settings_rules {

// The largest network address the pages accept: 254 with 8-bit addresses (alen
// anything but 11), 2047 with 11-bit ones.
inline constexpr int32_t kMaxAddress8 = 254;
inline constexpr int32_t kMaxAddress11 = 2047;
constexpr int32_t MaxAddress(int32_t alen) { return alen == 11 ? kMaxAddress11 : kMaxAddress8; }
// What the computer-port page puts for a link address out of range on Apply.
inline constexpr int32_t kFallbackLinkAddress = 16;
// The rate the computer-port page shows for a link rate that is not a standard one.
inline constexpr int32_t kFallbackLinkBaud = 9600;
// The converter's answer delay on RS-485 ("rs.dl"), milliseconds: 0 to 45, and
// what a delay outside that becomes.
inline constexpr int32_t kMaxAnswerDelayMs = 45;
inline constexpr int32_t kFallbackAnswerDelayMs = 20;
// The converter polls its current-loop instrument every 1 to 60 seconds, whatever
// the instrument allows; a negative polling value stands for 3.
inline constexpr int32_t kLeastPollS = 1;
inline constexpr int32_t kMostPollS = 60;
inline constexpr int32_t kFallbackPollS = 3;

// The frames the converter refuses on its RS-485 side and at its computer port:
// 7 data bits without parity and one stop bit, 8 bits with odd or with even parity
// and two stop bits (values as the records hold them).
bool IsRefusedFrame(int32_t bytesize, int32_t parity, int32_t stopbits);

// The settings the converter answers at as it leaves the factory: 9600 8-n-1,
// address 16, 8-bit addresses (its line and address fields only).
PortSettings ConverterFactorySettings();

// The polling intervals the instrument allows at the rate: from its lowest at that
// rate (PollIndexForBaud) to its maximum taken as a 16-bit value.
struct PollBounds {
  int32_t least, most;
};
PollBounds InstrumentPollBounds(const DeviceDescription& entry, int32_t baud);

// A Modbus address has 8 bits: an 11-bit address keeps its high bits.
constexpr int32_t EightBitAddressOf(int32_t address11) { return address11 / 8; }

enum class Rule {
  // The line and the address (the link set and the RS-485 set).
  kStandardRate,                // the rate is one of the standard rates
  kRateChosen,                  // ... as the RS-485 page refuses it: no rate chosen
  kParityValue,                 // parity 0, 1 or 2
  kStopBitsValue,               // stop bits 0 (one) or 2 (two)
  kWordLengthValue,             // 7 or 8 data bits (the RS-485 and the loop set)
  kAddressLengthValue,          // 8 or 11 address bits
  kAddressRange,                // 0..254, or 0..2047 with 11-bit addresses
  kLinkAddressCorrection,       // a link address out of range becomes 16 (Apply)
  kConverterAddressCorrection,  // the address the RS-485 write gives the converter
  kLinkUnsupportedFrame,        // a refused frame at the computer port
  kRs485UnsupportedFrame,       // a refused frame on the RS-485 side
  // The RS-485 set.
  kProtocolValue,          // protocol 0, 1 or 2
  kDelayRange,             // the answer delay within 0..45
  kDelayCorrection,        // an answer delay outside 0..45 becomes 20
  kModbusRtuWordLength,    // Modbus RTU needs 8 data bits
  kModbusAsciiWordLength,  // Modbus ASCII needs 7
  kModbusAddressLength,    // Modbus has 8-bit addresses only
  // The loop set and its catalogue entry.
  kUnknownInstrument,    // the instrument is in the catalogue
  kInstrumentRate,       // the rate is one of the instrument's
  kInstrumentByteSize,   // values the instrument does not let be changed keep
  kInstrumentParity,     //   its defaults
  kInstrumentStopBits,
  kPollRange,            // the polling interval within 1..60 seconds
  kInstrumentPoll,       // ... and within the instrument's bounds at the rate
  kNegativePoll,         // a negative polling value becomes 3
  // The line test: its Modbus RTU exchange needs 8 data bits.
  kLineTestWordLength,
};

enum class Kind {
  kRefuse,   // the settings cannot be used as they are
  kWarn,     // the converter does not take them, the window lets them stand
  kCorrect,  // the value is replaced by `replacement`
};

// The record field a finding is about; kFrame is word length, parity and stop
// bits together, kInstrument the instrument's name and version.
enum class Field {
  kBaud,
  kByteSize,
  kParity,
  kStopBits,
  kFrame,
  kAddress,
  kAddressLength,
  kProtocol,
  kDelay,
  kInstrument,
};

struct Finding {
  Rule rule;
  Kind kind;
  Field field;
  int32_t value;  // the value found (the word length for a frame, 0 for an instrument)
  // kCorrect: the value to put instead. kRefuse: the value the window offers
  // instead, where the rule has one (the answer delay's 20, an instrument's
  // default). None otherwise.
  std::optional<int32_t> replacement;
  std::string text;     // UTF-8, formatted; empty for a silent correction
  std::string caption;  // UTF-8; empty with an empty text
  unsigned icon;        // kNoticeIcon... of common/notice_styles.h; 0 with an empty text
};

// One rule on one record: nothing when the rule holds. The loop rules that need
// the instrument's catalogue entry hold when entry is null (kUnknownInstrument
// reports that); the other rules ignore entry.
std::optional<Finding> Check(Rule rule, const PortSettings& record,
                             const DeviceDescription* entry = nullptr);
// The first of the rules, in their order, that does not hold.
std::optional<Finding> FirstFinding(std::span<const Rule> rules, const PortSettings& record,
                                    const DeviceDescription* entry = nullptr);

// The record's number that a field names; null for kFrame and kInstrument.
int32_t PortSettings::*FieldMember(Field field);
// A correction made: the finding's field of the record takes its replacement.
// Refusals, warnings and findings about no single number change nothing.
void ApplyCorrection(const Finding& finding, PortSettings& record);

// The rules a set must keep before it is written, in the order they are checked
// (the corrections the window makes on loading, on Apply and in the RS-485 write
// are not among them: each one's condition is refused here first).
inline constexpr Rule kRs485Rules[] = {
    Rule::kWordLengthValue,      Rule::kAddressLengthValue,    Rule::kAddressRange,
    Rule::kDelayRange,           Rule::kModbusRtuWordLength,   Rule::kModbusAsciiWordLength,
    Rule::kModbusAddressLength,  Rule::kRs485UnsupportedFrame,
};
// Values the converter has no code for ("BPS", "PrtY", "Sbit", "PrOt"): it would
// be sent the code for "no such value". No list of the pages holds one; a
// configuration file's link, whose line the RS-485 write starts from, and the
// console tool's options may. Checked before kRs485Rules.
inline constexpr Rule kRs485CodeRules[] = {Rule::kStandardRate, Rule::kParityValue,
                                           Rule::kStopBitsValue, Rule::kProtocolValue};
inline constexpr Rule kLinkRules[] = {Rule::kAddressRange, Rule::kLinkUnsupportedFrame};
inline constexpr Rule kLoopRules[] = {
    Rule::kUnknownInstrument,   Rule::kInstrumentRate, Rule::kInstrumentByteSize,
    Rule::kInstrumentParity,    Rule::kInstrumentStopBits, Rule::kWordLengthValue,
    Rule::kPollRange,           Rule::kInstrumentPoll,
};

std::optional<Finding> CheckRs485Set(const PortSettings& rs);
std::optional<Finding> CheckRs485Codes(const PortSettings& rs);
std::optional<Finding> CheckLinkSet(const PortSettings& link);
// entry: the loop set's instrument in the catalogue, or null when it is not there.
std::optional<Finding> CheckLoopSet(const PortSettings& loop, const DeviceDescription* entry);

}  // namespace settings_rules
