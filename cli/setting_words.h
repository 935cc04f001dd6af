// The words kv4t takes for the settings' named values, on its command line and in a
// commissioning plan alike, case ignored: parity, stop bits, protocol and adaptor.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class SettingWords {
 public:
  struct Word {
    const char* word;
    int value;  // as the settings records hold it
  };
  // For each value the first of its words is the one kv4t writes.
  constexpr explicit SettingWords(std::span<const Word> words) : words_(words) {}

  // The value a word names, case ignored; none for any other word.
  std::optional<int> ValueOf(std::string_view word) const;
  // The word kv4t writes for a value; "?" for a value that has none.
  const char* WordOf(int value) const;
  // Every word, in the list's order, joined by separator ("none|odd|even|n|o|e").
  std::string Choices(const char* separator) const;
  // Word to value, for the command line's options.
  std::map<std::string, int> Map() const;

 private:
  std::span<const Word> words_;
};

extern const SettingWords kParityWords;    // none n, odd o, even e
extern const SettingWords kStopBitWords;   // 1, 2
extern const SettingWords kProtocolWords;  // ravik, modbus-ascii ascii, modbus-rtu rtu
extern const SettingWords kAdaptorWords;   // auto, rts
