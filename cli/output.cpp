#include "cli/tool.h"

#include <cstdio>

#include "cli/adaptor.h"
#include "common/code_pages.h"

void Output::Line(const std::string& utf8) const {
  if (json_ || quiet_) return;
  std::fputs(utf8.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Output::Error(const std::string& utf8) {
  if (json_) {
    if (!result.contains("error")) result["error"] = utf8;
    return;
  }
  std::fprintf(stderr, "kv4t: %s\n", utf8.c_str());
}

void Output::Note(const std::string& utf8) {
  if (json_) {
    result["notes"].push_back(utf8);
    return;
  }
  if (!quiet_) std::fprintf(stderr, "kv4t: %s\n", utf8.c_str());
}

std::string Output::FromProgram(const std::string& text) {
  std::string utf8 = Cp1251ToUtf8(text);
  std::string lines;
  lines.reserve(utf8.size());
  for (char c : utf8)
    if (c != '\r') lines.push_back(c);
  while (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

int Output::Finish(int code) {
  if (low_latency_) {
    const std::string ended = EndLowLatency();
    if (!ended.empty()) Note(ended);
  }
  if (json_) {
    result["exit"] = code;
    std::fputs(result.dump(2).c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  return code;
}
