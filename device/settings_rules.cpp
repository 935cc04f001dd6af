#include "device/settings_rules.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/catalogue.h"
#include "common/baud_rates.h"
#include "common/code_pages.h"
#include "common/notice_styles.h"
#include "common/text_format.h"
#include "device/address_range.h"
#include "device/device_texts.h"
#include "device/settings_texts.h"

namespace settings_rules {

namespace {

namespace st = settings_text;

struct Frame {
  int32_t bytesize;
  Parity parity;
  StopBits stopbits;
};
constexpr Frame kRefusedFrames[] = {
    {7, Parity::kNone, StopBits::kOne},
    {8, Parity::kOdd, StopBits::kTwo},
    {8, Parity::kEven, StopBits::kTwo},
};

// A finding with its message shown as the pages show a refusal: caption "Нельзя
// выполнить операцию", the error icon.
Finding Refused(Rule rule, Field field, int32_t value, std::string text,
                std::optional<int32_t> offered = std::nullopt) {
  return {rule, Kind::kRefuse, field, value, offered, std::move(text), st::kCannotDo,
          kNoticeIconError};
}

Finding Corrected(Rule rule, Field field, int32_t value, int32_t replacement, std::string text,
                  const char* caption) {
  return {rule, Kind::kCorrect, field, value, replacement, std::move(text), caption,
          kNoticeIconError};
}

Finding SilentlyCorrected(Rule rule, Field field, int32_t value, int32_t replacement) {
  return {rule, Kind::kCorrect, field, value, replacement, {}, {}, 0};
}

Finding FrameWarning(Rule rule, const PortSettings& s, const char* caption) {
  return {rule, Kind::kWarn, Field::kFrame, s.bytesize, std::nullopt, st::kUnsupportedFrame,
          caption, kNoticeIconWarning};
}

bool InAddressRange(const PortSettings& s) {
  return s.address >= 0 && s.address <= MaxAddress(s.alen);
}

bool InDelayRange(const PortSettings& s) {
  return s.delay >= 0 && s.delay <= kMaxAnswerDelayMs;
}

std::string EntryName(const DeviceDescription& entry) { return Cp1251ToUtf8(entry.name); }

// A line value the instrument does not let be changed must keep its default.
std::optional<Finding> FixedValue(Rule rule, Field field, int32_t value,
                                  const DeviceDescription* entry, int32_t flag,
                                  int32_t DeviceDescription::*fallback, const char* what) {
  if (!entry || (entry->flags & flag) || value == entry->*fallback) return std::nullopt;
  return Refused(rule, field, value, Format(st::kInstrumentFixed, EntryName(*entry).c_str(), what),
                 entry->*fallback);
}

}  // namespace

bool IsRefusedFrame(int32_t bytesize, int32_t parity, int32_t stopbits) {
  return std::any_of(std::begin(kRefusedFrames), std::end(kRefusedFrames), [&](const Frame& f) {
    return f.bytesize == bytesize && ToValue(f.parity) == parity &&
           ToValue(f.stopbits) == stopbits;
  });
}

PortSettings ConverterFactorySettings() {
  return {.baud = 9600, .bytesize = 8, .parity = ToValue(Parity::kNone),
          .stopbits = ToValue(StopBits::kOne), .address = 16, .alen = 8};
}

PollBounds InstrumentPollBounds(const DeviceDescription& entry, int32_t baud) {
  return {PollIndexForBaud(entry, baud), entry.pollmax & 0xFFFF};
}

std::optional<Finding> Check(Rule rule, const PortSettings& s, const DeviceDescription* entry) {
  switch (rule) {
    case Rule::kStandardRate:
      if (is_standard_baud_rate(s.baud)) break;
      return Refused(rule, Field::kBaud, s.baud, Format(st::kRateNotStandard, s.baud),
                     kFallbackLinkBaud);
    case Rule::kParityValue:
      if (ParityOf(s.parity)) break;
      return Refused(rule, Field::kParity, s.parity, Format(st::kParityValue, s.parity));
    case Rule::kStopBitsValue:
      if (StopBitsOf(s.stopbits)) break;
      return Refused(rule, Field::kStopBits, s.stopbits, Format(st::kStopBitsValue, s.stopbits));
    case Rule::kProtocolValue:
      if (ProtocolOf(s.proto)) break;
      return Refused(rule, Field::kProtocol, s.proto, Format(st::kProtocolValue, s.proto));
    case Rule::kRateChosen:
      // The page's list offers the standard rates only; with none chosen it would
      // store 0, for which the converter has no code.
      if (is_standard_baud_rate(s.baud)) break;
      return Refused(rule, Field::kBaud, s.baud, st::kBaudNotChosen);
    case Rule::kWordLengthValue:
      if (s.bytesize == 7 || s.bytesize == 8) break;
      return Refused(rule, Field::kByteSize, s.bytesize, Format(st::kWordLengthValue, s.bytesize),
                     8);
    case Rule::kAddressLengthValue:
      if (s.alen == 8 || s.alen == 11) break;
      return Refused(rule, Field::kAddressLength, s.alen, Format(st::kAddressLengthValue, s.alen),
                     8);
    case Rule::kAddressRange:
      if (InAddressRange(s)) break;
      return Refused(rule, Field::kAddress, s.address,
                     s.alen == 11 ? Format(st::kAddress11Refused, s.address, kMaxAddress11)
                                  : Format(st::kAddress8Refused, s.address));
    case Rule::kLinkAddressCorrection:
      if (InAddressRange(s)) break;
      return Corrected(rule, Field::kAddress, s.address, kFallbackLinkAddress,
                       Format(device_text::kAddressOutOfRange, s.address, kFallbackLinkAddress),
                       device_text::kAddressCaption);
    case Rule::kConverterAddressCorrection: {
      const int32_t written = CorrectNetworkAddress(s.address, s.alen);
      if (written == s.address) break;
      return Corrected(rule, Field::kAddress, s.address, written,
                       Format(device_text::kAddressOutOfRange, s.address, written),
                       device_text::kAddressCaption);
    }
    case Rule::kLinkUnsupportedFrame:
      if (!IsRefusedFrame(s.bytesize, s.parity, s.stopbits)) break;
      return FrameWarning(rule, s, st::kUnsupportedFrameCaption);
    case Rule::kRs485UnsupportedFrame:
      if (!IsRefusedFrame(s.bytesize, s.parity, s.stopbits)) break;
      return FrameWarning(rule, s, st::kUnsupportedFrameCaptionRs485);
    case Rule::kDelayRange:
      if (InDelayRange(s)) break;
      return Refused(rule, Field::kDelay, s.delay, Format(st::kDelayRefused, s.delay),
                     kFallbackAnswerDelayMs);
    case Rule::kDelayCorrection:
      if (InDelayRange(s)) break;
      return Corrected(rule, Field::kDelay, s.delay, kFallbackAnswerDelayMs,
                       Format(st::kDelayCorrected, s.delay, kFallbackAnswerDelayMs),
                       st::kDelayCorrectedCaption);
    case Rule::kModbusRtuWordLength:
      if (s.proto != ToValue(Protocol::kModbusRtu) || s.bytesize == 8) break;
      return Corrected(rule, Field::kByteSize, s.bytesize, 8,
                       Format(st::kWordLengthRtu, s.bytesize), st::kCannotDo);
    case Rule::kModbusAsciiWordLength:
      if (s.proto != ToValue(Protocol::kModbusAscii) || s.bytesize == 7) break;
      return Corrected(rule, Field::kByteSize, s.bytesize, 7,
                       Format(st::kWordLengthAscii, s.bytesize), st::kCannotDo);
    case Rule::kModbusAddressLength:
      if (s.proto == ToValue(Protocol::kRavik) || s.alen != 11) break;
      return Corrected(rule, Field::kAddressLength, s.alen, 8, st::kModbusAddressLength,
                       st::kCannotDo);
    case Rule::kUnknownInstrument:
      if (entry) break;
      return Finding{rule,         Kind::kWarn,         Field::kInstrument, 0, std::nullopt,
                     st::kUnknownInstrument, st::kWarningCaption, kNoticeIconWarning};
    case Rule::kInstrumentRate: {
      if (!entry) break;
      const auto& rates = entry->validbauds;
      if (std::find(rates.begin(), rates.end(), s.baud) != rates.end()) break;
      return Refused(rule, Field::kBaud, s.baud,
                     Format(st::kInstrumentRate, s.baud, EntryName(*entry).c_str()),
                     entry->defbaud);
    }
    case Rule::kInstrumentByteSize:
      return FixedValue(rule, Field::kByteSize, s.bytesize, entry, kChooseByteSize,
                        &DeviceDescription::defbytesize, st::kInstrumentFixedByteSize);
    case Rule::kInstrumentParity:
      return FixedValue(rule, Field::kParity, s.parity, entry, kChooseParity,
                        &DeviceDescription::defparity, st::kInstrumentFixedParity);
    case Rule::kInstrumentStopBits:
      return FixedValue(rule, Field::kStopBits, s.stopbits, entry, kChooseStopBits,
                        &DeviceDescription::defstopbits, st::kInstrumentFixedStopBits);
    case Rule::kPollRange:
      if (s.delay >= kLeastPollS && s.delay <= kMostPollS) break;
      return Refused(rule, Field::kDelay, s.delay, Format(st::kPollRefused, s.delay));
    case Rule::kInstrumentPoll: {
      if (!entry) break;
      const PollBounds bounds = InstrumentPollBounds(*entry, s.baud);
      if (s.delay >= bounds.least && s.delay <= bounds.most) break;
      return Refused(rule, Field::kDelay, s.delay,
                     Format(st::kInstrumentPoll, s.delay, bounds.least, bounds.most, s.baud));
    }
    case Rule::kNegativePoll:
      if (s.delay >= 0) break;
      return SilentlyCorrected(rule, Field::kDelay, s.delay, kFallbackPollS);
    case Rule::kLineTestWordLength:
      if (s.bytesize == 8) break;
      return Refused(rule, Field::kByteSize, s.bytesize,
                     Format(st::kLineTestWordLength, s.bytesize));
  }
  return std::nullopt;
}

int32_t PortSettings::*FieldMember(Field field) {
  switch (field) {
    case Field::kBaud:
      return &PortSettings::baud;
    case Field::kByteSize:
      return &PortSettings::bytesize;
    case Field::kParity:
      return &PortSettings::parity;
    case Field::kStopBits:
      return &PortSettings::stopbits;
    case Field::kAddress:
      return &PortSettings::address;
    case Field::kAddressLength:
      return &PortSettings::alen;
    case Field::kProtocol:
      return &PortSettings::proto;
    case Field::kDelay:
      return &PortSettings::delay;
    case Field::kFrame:
    case Field::kInstrument:
      break;
  }
  return nullptr;
}

void ApplyCorrection(const Finding& finding, PortSettings& record) {
  int32_t PortSettings::*member = FieldMember(finding.field);
  if (finding.kind != Kind::kCorrect || !finding.replacement || !member) return;
  record.*member = *finding.replacement;
}

std::optional<Finding> FirstFinding(std::span<const Rule> rules, const PortSettings& record,
                                    const DeviceDescription* entry) {
  for (Rule rule : rules)
    if (std::optional<Finding> finding = Check(rule, record, entry)) return finding;
  return std::nullopt;
}

std::optional<Finding> CheckRs485Set(const PortSettings& rs) {
  return FirstFinding(kRs485Rules, rs);
}

std::optional<Finding> CheckRs485Codes(const PortSettings& rs) {
  return FirstFinding(kRs485CodeRules, rs);
}

std::optional<Finding> CheckLinkSet(const PortSettings& link) {
  return FirstFinding(kLinkRules, link);
}

std::optional<Finding> CheckLoopSet(const PortSettings& loop, const DeviceDescription* entry) {
  return FirstFinding(kLoopRules, loop, entry);
}

}  // namespace settings_rules
