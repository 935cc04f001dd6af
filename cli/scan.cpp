#include <chrono>
#include <cstdio>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/scan.h"
#include "common/code_pages.h"
#include "link/ravik.h"
#include "link/serio.h"

namespace {

using Clock = std::chrono::steady_clock;

// One identity read at the probe's settings, one attempt, the probe's answer time.
// A late answer from another address must not count: the answer's address bits
// must be the request's.
bool Probe(ConverterDevice& device, const ScanProbe& probe) {
  serio& channel = *device.channel;
  channel.codec = device.ravik.get();
  // Refused settings would leave the last ones in force: a probe there is no probe.
  if (!channel.set_params(probe.baud, probe.bytesize, probe.parity, probe.stopbits))
    return false;
  std::vector<uint8_t> request;
  if (!ravik_make_request(request, true, probe.alen == 11, probe.address,
                          ravik_hash("dev", nullptr)))
    return false;
  const uint32_t pause_ms = channel.read_pause_ms;
  channel.answer_override = ProbeAnswerUs(probe);
  channel.read_pause_ms = 0;
  std::vector<uint8_t> answer;
  // A probe is a read: no answer equals it, so it may teach the channel the echo.
  if (channel.echo() == serio_echo::unknown) channel.learn_echo = true;
  const bool ok = channel.transact(request, answer, true);
  channel.answer_override = 0;
  channel.read_pause_ms = pause_ms;
  return ok && answer.size() >= ravik_header_bytes && !(answer[1] & ravik_request_flag) &&
         answer[0] == request[0] && (answer[1] & 0xE0) == (request[1] & 0xE0);
}

// "[#####-----]  12%  345/20655  осталось 05:12" on standard error, redrawn in place.
class Progress {
 public:
  Progress(bool shown, int64_t total_us) : shown_(shown), total_us_(total_us) {}
  void Show(std::size_t done, std::size_t count, int64_t left_us) {
    if (!shown_) return;
    const auto now = Clock::now();
    if (done != 0 && done != count && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    constexpr int kWidth = 30;
    const double part = total_us_ > 0 ? 1.0 - static_cast<double>(left_us) / total_us_ : 1.0;
    const int filled = static_cast<int>(part * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '-');
    const long long seconds = left_us / 1000000;
    std::fprintf(stderr, "\r[%s] %3d%%  %zu/%zu  осталось %02lld:%02lld:%02lld ", bar.c_str(),
                 static_cast<int>(part * 100), done, count, seconds / 3600, seconds / 60 % 60,
                 seconds % 60);
    std::fflush(stderr);
  }
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r%*s\r", 72, "");
  }

 private:
  bool shown_;
  int64_t total_us_;
  Clock::time_point last_{};
};

}  // namespace

int RunScan(const CommonArgs& args, bool all) {
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  code = OpenLink(*device, out);
  if (code != kExitDone) return out.Finish(code);
  const ScanOrder order(device->LinkSet());
  int64_t left_us = order.floor_us();
  Progress progress(console_stderr_is_terminal() && !out.json() && !out.quiet(), left_us);

  out.result["found"] = nlohmann::json::array();
  const auto started = Clock::now();
  std::size_t done = 0;
  for (const ScanProbe& p : order) {
    if (console_interrupted()) break;
    progress.Show(done, order.size(), left_us);
    const bool answered = Probe(*device, p);
    ++done;
    left_us -= ProbeFloorUs(p);
    if (!answered) continue;
    // Confirmed as the configurator would reach it: name and version read.
    PortSettings& link = device->LinkSet();
    CopyLineAndAddress({.baud = p.baud, .bytesize = p.bytesize, .parity = p.parity,
                        .stopbits = p.stopbits, .address = p.address, .alen = p.alen},
                       link);
    link.devtype.clear();
    link.fwver.clear();
    device->ReadTextParam("dev", link.devtype);
    device->ReadTextParam("ver", link.fwver);
    nlohmann::json hit = SettingsJson(link, false);
    hit.erase("protocol");
    hit.erase("delay");
    hit["device"] = Cp1251ToUtf8(link.devtype);
    hit["version"] = Cp1251ToUtf8(link.fwver);
    out.result["found"].push_back(hit);
    progress.Clear();
    out.Line(Format("найден %s %s: %s, адрес %d (%d бит)", Cp1251ToUtf8(link.devtype).c_str(),
                    Cp1251ToUtf8(link.fwver).c_str(), DescribePortSettings(link).c_str(),
                    p.address, p.alen));
    if (!all) break;
  }
  progress.Clear();
  device->ClosePort();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  out.result["probes"] = done;
  out.result["seconds"] = seconds;
  if (console_interrupted()) {
    out.Error(Format("сканирование прервано после %zu проб", done));
    return out.Finish(kExitInterrupted);
  }
  if (out.result["found"].empty()) {
    out.Error(Format("преобразователь не найден (%zu проб, %.1f с)", done, seconds));
    return out.Finish(kExitNoAnswer);
  }
  return out.Finish(kExitDone);
}
