// kv4t commission: many converters, one after another, given the settings of a
// plan (cli/commission_plan.h), each checked at its new settings, every row
// recorded in a report (cli/commission_report.h).
#pragma once

#include <string>

#include "cli/tool.h"

// What a failed row leads to.
enum class OnFailure {
  kRetry,  // the row again, up to `retries` more times; then the run stops
  kSkip,   // on to the next row
  kStop,   // the run ends
};

struct CommissionArgs {
  std::string plan;
  std::string report;  // none: no report file
  // What the plan's rows leave out (the --new-* options); the address is the plan's.
  LineArgs defaults;
  // Poll the port at the factory settings until a converter answers, instead of
  // asking on the terminal; required without one.
  bool wait = false;
  OnFailure on_failure = OnFailure::kStop;
  int retries = 3;
};

// 0 every row done (now or by an earlier run of the same report); 1 a row failed
// or was skipped, or the run was ended before the last; 2 the plan, the report or
// the options refused, nothing sent; 3 the port cannot be opened; 130 Ctrl-C.
int RunCommission(const CommonArgs& args, const CommissionArgs& commission);
