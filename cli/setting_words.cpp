#include "cli/setting_words.h"

#include <algorithm>

#include "common/setting_values.h"

namespace {

using Word = SettingWords::Word;

constexpr Word kParity[] = {{"none", ToValue(Parity::kNone)}, {"odd", ToValue(Parity::kOdd)},
                            {"even", ToValue(Parity::kEven)}, {"n", ToValue(Parity::kNone)},
                            {"o", ToValue(Parity::kOdd)},     {"e", ToValue(Parity::kEven)}};
constexpr Word kStopBits[] = {{"1", ToValue(StopBits::kOne)}, {"2", ToValue(StopBits::kTwo)}};
constexpr Word kProtocol[] = {{"ravik", ToValue(Protocol::kRavik)},
                              {"modbus-rtu", ToValue(Protocol::kModbusRtu)},
                              {"modbus-ascii", ToValue(Protocol::kModbusAscii)},
                              {"rtu", ToValue(Protocol::kModbusRtu)},
                              {"ascii", ToValue(Protocol::kModbusAscii)}};
constexpr Word kAdaptor[] = {{"auto", ToValue(Adaptor::kAutomatic)},
                             {"rts", ToValue(Adaptor::kControlled)}};

bool SameNoCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

constinit const SettingWords kParityWords{kParity};
constinit const SettingWords kStopBitWords{kStopBits};
constinit const SettingWords kProtocolWords{kProtocol};
constinit const SettingWords kAdaptorWords{kAdaptor};

std::optional<int> SettingWords::ValueOf(std::string_view word) const {
  for (const Word& w : words_)
    if (SameNoCase(w.word, word)) return w.value;
  return std::nullopt;
}

const char* SettingWords::WordOf(int value) const {
  for (const Word& w : words_)
    if (w.value == value) return w.word;
  return "?";
}

std::string SettingWords::Choices(const char* separator) const {
  std::string choices;
  for (const Word& w : words_) {
    if (!choices.empty()) choices += separator;
    choices += w.word;
  }
  return choices;
}

std::map<std::string, int> SettingWords::Map() const {
  std::map<std::string, int> map;
  for (const Word& w : words_) map.emplace(w.word, w.value);
  return map;
}
