#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/checks.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/trace.h"
#include "common/code_pages.h"
#include "device/line_test.h"
#include "link/ravik.h"
#include "link/serio.h"

namespace {

// The protocol to the output as it grows; the register being read on a terminal.
class ConsoleHooks : public LineTestHooks {
 public:
  explicit ConsoleHooks(Output& out)
      : out_(out), status_shown_(console_stderr_is_terminal() && !out.json() && !out.quiet()) {
    out_.result["protocol"] = nlohmann::json::array();
  }
  void Append(const std::string& text) override {
    ClearStatus();
    const std::string lines = Output::FromProgram(text);
    std::size_t start = 0;
    while (start <= lines.size()) {
      const std::size_t end = std::min(lines.find('\n', start), lines.size());
      out_.result["protocol"].push_back(lines.substr(start, end - start));
      start = end + 1;
    }
    out_.Line(lines);
  }
  void Status(const std::string& text) override {
    if (!status_shown_) return;
    std::fprintf(stderr, "\r%s ", Output::FromProgram(text).c_str());
    std::fflush(stderr);
    status_dirty_ = !text.empty();
  }
  bool StopRequested() override { return console_interrupted(); }
  // A device path or a by-id name is as good as a COM port: opening it tells.
  bool PortPresent(const std::string& port) override { return !port.empty(); }

 private:
  void ClearStatus() {
    if (status_dirty_) std::fprintf(stderr, "\r%40s\r", "");
    status_dirty_ = false;
  }
  Output& out_;
  bool status_shown_;
  bool status_dirty_ = false;
};

int OutcomeCode(LineTestOutcome outcome) {
  switch (outcome) {
    case LineTestOutcome::kDone: return kExitDone;
    case LineTestOutcome::kNoPort: return kExitUsage;
    case LineTestOutcome::kOpenFailed: return kExitPort;
    case LineTestOutcome::kStopped: return kExitInterrupted;
    default: return kExitNoAnswer;
  }
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(at, sorted.size() - 1)];
}

// n identity reads, one attempt each, at the link's settings: every answer, loss
// and check error counted, the exchange times in milliseconds.
int RepeatReads(ConverterDevice& device, Output& out, int n) {
  // The protocol has just identified the converter at these settings.
  const int code = OpenLink(device, out);
  if (code != kExitDone) return code;
  serio& channel = *device.channel;
  const PortSettings& link = device.LinkSet();
  channel.codec = device.ravik.get();
  channel.answer_override = 0;
  channel.set_params(link.baud, link.bytesize, link.parity, link.stopbits);
  channel.set_line_control(link.adaptor);
  std::vector<uint8_t> request;
  ravik_make_request(request, true, link.alen == 11, link.address, ravik_hash("dev", nullptr));
  long answers = 0, losses = 0, check_errors = 0;
  std::vector<double> times_ms;
  times_ms.reserve(static_cast<std::size_t>(n));
  int done = 0;
  for (; done < n && !console_interrupted(); ++done) {
    std::vector<uint8_t> answer;
    // The port was opened afresh: until a read has taught it, the channel does not
    // know whether the line echoes, and would take the echo for the answer.
    if (channel.echo() == serio_echo::unknown) channel.learn_echo = true;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = channel.transact(request, answer, true);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const int status = channel.status();
    if (ok && answer.size() >= ravik_header_bytes && !(answer[1] & ravik_request_flag)) {
      ++answers;
      times_ms.push_back(ms);
    } else if (ok || status == serio_bad_checksum || status == serio_bad_frame ||
               status == serio_receive_error) {
      ++check_errors;
    } else {
      ++losses;
    }
  }
  std::sort(times_ms.begin(), times_ms.end());
  const nlohmann::json ms = {{"min", times_ms.empty() ? 0.0 : times_ms.front()},
                             {"median", Percentile(times_ms, 0.5)},
                             {"p95", Percentile(times_ms, 0.95)},
                             {"max", times_ms.empty() ? 0.0 : times_ms.back()}};
  out.result["repeat"] = {{"requests", done}, {"answers", answers}, {"losses", losses},
                          {"check_errors", check_errors}, {"answer_ms", ms}};
  out.Line(Format("запросов %d: ответов %ld, потерь %ld, ошибок контроля %ld", done, answers,
                  losses, check_errors));
  out.Line(Format("время ответа, мс: мин %.1f, медиана %.1f, 95%% %.1f, макс %.1f",
                  ms["min"].get<double>(), ms["median"].get<double>(), ms["p95"].get<double>(),
                  ms["max"].get<double>()));
  return answers == done ? kExitDone : kExitNoAnswer;
}

}  // namespace

int RunLineTest(const CommonArgs& args, int repeat) {
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  // The window checks the RS-485 set's word length before its test; kv4t checks
  // the link's, at which the register dump goes out.
  const std::string error = CheckLineTestLink(device->LinkSet());
  if (!error.empty()) {
    out.Error(error);
    return out.Finish(kExitUsage);
  }
  ConsoleHooks hooks(out);
  code = OutcomeCode(RunLineTest(*device, hooks));
  if (code == kExitDone && repeat > 0) code = RepeatReads(*device, out, repeat);
  device->ClosePort();
  if (console_interrupted()) code = kExitInterrupted;
  return out.Finish(code);
}
