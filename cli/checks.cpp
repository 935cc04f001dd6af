#include "cli/checks.h"

#include <optional>
#include <span>

#include "catalogue/catalogue.h"
#include "device/settings_rules.h"

namespace {

namespace sr = settings_rules;

std::string TextOf(const std::optional<sr::Finding>& finding) {
  return finding ? finding->text : std::string();
}

}  // namespace

std::string CheckRs485Settings(const PortSettings& rs) {
  std::optional<sr::Finding> finding = sr::CheckRs485Codes(rs);
  if (!finding) finding = sr::CheckRs485Set(rs);
  return TextOf(finding);
}

std::vector<std::string> Rs485Findings(const PortSettings& rs) {
  std::vector<std::string> texts;
  for (std::span<const sr::Rule> rules : {std::span<const sr::Rule>(sr::kRs485CodeRules),
                                          std::span<const sr::Rule>(sr::kRs485Rules)})
    for (sr::Rule rule : rules)
      if (std::optional<sr::Finding> finding = sr::Check(rule, rs)) texts.push_back(finding->text);
  return texts;
}

std::string CheckLoopSettings(const PortSettings& loop) {
  return TextOf(sr::CheckLoopSet(loop, FindDescription(loop.devtype, loop.fwver)));
}

std::string CheckLinkAddress(const PortSettings& link) {
  return TextOf(sr::Check(sr::Rule::kAddressRange, link));
}

std::string CheckLineTestLink(const PortSettings& link) {
  return TextOf(sr::Check(sr::Rule::kLineTestWordLength, link));
}

std::string CheckStandardRate(int32_t baud) {
  return TextOf(sr::Check(sr::Rule::kStandardRate, PortSettings{.baud = baud}));
}
