#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <set>

#include "cli/adaptor.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/scan.h"
#include "common/code_pages.h"
#include "link/modbus.h"
#include "link/port.h"
#include "link/ravik.h"
#include "link/serio.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kRavik = ToValue(Protocol::kRavik), kAscii = ToValue(Protocol::kModbusAscii);
constexpr int kMaxLatencyMs = 255;

// The quiet time before the next probe: after an answer the device layer's, after
// silence none (the converter has nothing to recover from). set_turnaround adds
// the channel's margin to what it is given: for none it is taken off again.
void PrepareTurnaround(serio& channel, bool after_answer) {
  channel.set_turnaround(after_answer ? kTurnaroundUs : -static_cast<int>(channel.rts_margin()));
}


// What tells one converter from another on the wire: the line settings and the
// address bits of the request's header. An 8-bit address a and the 11-bit
// address 8a go out as the same bytes, so a converter at one answers at both; a
// Modbus unit is the 8-bit address of the same number.
std::array<int32_t, 6> WireKey(const ScanProbe& p) {
  const bool eleven = p.proto == kRavik && p.alen == 11;
  return {p.baud, p.bytesize, p.parity, p.stopbits,
          eleven ? (p.address >> 3) & 0xFF : p.address & 0xFF, eleven ? p.address & 7 : 0};
}

nlohmann::json ProbeJson(const ScanProbe& p) {
  PortSettings s;
  CopyLineAndAddress({.baud = p.baud, .bytesize = p.bytesize, .parity = p.parity,
                      .stopbits = p.stopbits, .address = p.address, .alen = p.alen},
                     s);
  s.proto = p.proto;
  nlohmann::json j = SettingsJson(s, false);
  j.erase("delay");
  return j;
}

// "12.3 с", or "01:02:03" from a minute on.
std::string Duration(int64_t us) {
  if (us < 60000000) return Format("%.1f с", static_cast<double>(us) / 1e6);
  const long long seconds = (us + 999999) / 1000000;
  return Format("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
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
    left_us = std::max<int64_t>(0, left_us);
    const double part = total_us_ > 0 ? 1.0 - static_cast<double>(left_us) / total_us_ : 1.0;
    const int filled = std::clamp(static_cast<int>(part * kWidth), 0, kWidth);
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

// The options into a plan; an empty text when they hold, else what is wrong.
std::string MakePlan(const ScanArgs& scan, ScanPlan& plan) {
  std::string error;
  if (scan.rates && !(error = ParseScanRates(*scan.rates, plan.rates)).empty()) return error;
  if (scan.frames && !(error = ParseScanFrames(*scan.frames, plan.frames)).empty()) return error;
  if (scan.alens && !(error = ParseScanAlens(*scan.alens, plan.alens)).empty()) return error;
  if (scan.addresses && !(error = ParseScanAddresses(*scan.addresses, plan.addresses)).empty())
    return error;
  plan.modbus = scan.modbus;
  if (plan.modbus && !plan.alens.empty() &&
      std::find(plan.alens.begin(), plan.alens.end(), 8) == plan.alens.end())
    return "Modbus пробуется только с 8-битными адресами, а --alens их исключает";
  if (scan.latency_ms && (*scan.latency_ms < 0 || *scan.latency_ms > kMaxLatencyMs))
    return Format("задержка адаптера %d мс: допустимо от 0 до %d", *scan.latency_ms, kMaxLatencyMs);
  return {};
}

}  // namespace

// One request at the probe's settings, one attempt, the probe's own bounds: an
// identity read, or the wake-up coil. True when it was answered as asked: a late
// answer from another address must not count, so a RAVIK answer's address bits
// must be the request's, and the coil's acknowledgement must be its own.
bool ProbeOnce(ConverterDevice& device, const ScanProbe& probe, int64_t latency_us) {
  serio& channel = *device.channel;
  // Refused settings would leave the last ones in force: a probe there is no probe.
  if (!channel.set_params(probe.baud, probe.bytesize, probe.parity, probe.stopbits))
    return false;
  // An adaptor switched by RTS or DTR hears nothing unless the line is raised.
  channel.set_line_control(device.LinkSet().adaptor);
  std::vector<uint8_t> request;
  modbus_request coil;
  if (probe.proto == kRavik) {
    channel.codec = device.ravik.get();
    if (!ravik_make_request(request, true, probe.alen == 11, probe.address,
                            ravik_hash("dev", nullptr)))
      return false;
    // A probe is a read: no answer equals it, so it may teach the channel the echo.
    // The Modbus probes come after RAVIK ones: by then the echo is known, and the
    // coil's echo, which equals its acknowledgement, is dropped.
    if (channel.echo() == serio_echo::unknown) channel.learn_echo = true;
  } else {
    channel.codec = probe.proto == kAscii ? static_cast<frame_codec*>(device.modbusAscii.get())
                                          : static_cast<frame_codec*>(device.modbusRtu.get());
    coil.set_unit(probe.address);
    if (coil.set_function(5) != modbus_request::ok ||
        coil.set_range(kWakeCoil, 1) != modbus_request::ok ||
        coil.build(request, -1) != modbus_request::ok)
      return false;
  }
  const ProbeTiming timing = ProbeTimingOf(probe, latency_us);
  const uint32_t pause_ms = channel.read_pause_ms;
  channel.answer_override = timing.answer_us;
  channel.first_byte_ms = timing.first_byte_ms;
  channel.read_pause_ms = 0;
  std::vector<uint8_t> answer;
  const bool ok = channel.transact(request, answer, true);
  channel.answer_override = 0;
  channel.first_byte_ms = 0;
  channel.read_pause_ms = pause_ms;
  if (!ok) return false;
  if (probe.proto != kRavik) return coil.check_answer(answer, -1) == modbus_request::ok;
  return answer.size() >= ravik_header_bytes && !(answer[1] & ravik_request_flag) &&
         answer[0] == request[0] && (answer[1] & 0xE0) == (request[1] & 0xE0);
}

int RunScan(const CommonArgs& args, const ScanArgs& scan) {
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  ScanPlan plan;
  std::string error = MakePlan(scan, plan);
  if (!error.empty()) {
    out.Error(error);
    return out.Finish(kExitUsage);
  }
  const ScanOrder order(device->LinkSet(), plan);
  if (order.size() == 0) {
    out.Error("ни одной пробы: заданные скорости, кадры, длины адресов и адреса не оставляют ни одной");
    return out.Finish(kExitUsage);
  }
  if (!scan.estimate) {
    code = OpenLink(*device, out);
    if (code != kExitDone) return out.Finish(code);
  }
  // Read after the port is open: low-latency mode may have changed the timer.
  const std::string port = device->LinkSet().port;
  const AdaptorInfo adaptor =
      port.empty() ? AdaptorInfo{} : DescribeAdaptor(WideToUtf8(port_device_path(Cp1251ToWide(port))));
  const AdaptorLatency base = LatencyOf(adaptor, scan.latency_ms);
  int latency_ms = base.ms;
  out.result["latency_ms"] = base.ms;
  out.result["latency_source"] = base.source;
  const int64_t floor_us = order.floor_us(latency_ms * int64_t{1000});
  out.result["estimate"] = {{"probes", order.size()}, {"seconds", floor_us / 1e6}};
  const std::string estimate =
      Format("проб: %zu, без ответов на них уйдёт %s; задержка адаптера %d мс (%s)", order.size(),
             Duration(floor_us).c_str(), base.ms, base.source.c_str());
  if (scan.estimate) {
    out.Line(estimate);
    return out.Finish(kExitDone);
  }
  out.Note(estimate);

  serio& channel = *device->channel;
  channel.set_line_control(device->LinkSet().adaptor);
  int64_t left_us = floor_us;
  Progress progress(console_stderr_is_terminal() && !out.json() && !out.quiet(), left_us);
  out.result["found"] = nlohmann::json::array();
  out.result["answers"] = nlohmann::json::array();
  std::set<std::array<int32_t, 6>> reported;
  bool left_changed = false;
  int echo_ms = 0;
  const auto started = Clock::now();
  std::size_t done = 0;
  bool after_answer = false;
  for (const ScanProbe& p : order) {
    if (console_interrupted()) break;
    progress.Show(done, order.size(), left_us);
    PrepareTurnaround(channel, after_answer);
    const auto probe_start = Clock::now();
    const bool answered = ProbeOnce(*device, p, latency_ms * int64_t{1000});
    ++done;
    left_us -= ProbeFloorUs(p, latency_ms * int64_t{1000});
    // An adaptor that holds bytes shows it by its echo: the largest delay seen
    // raises the latency of the probes after it.
    if (channel.echo() == serio_echo::present && channel.echo_delay_us() >= 1000) {
      echo_ms = std::max(echo_ms, static_cast<int>((channel.echo_delay_us() + 999) / 1000));
      latency_ms = std::max(latency_ms, std::min(echo_ms, kMaxLatencyMs));
    }
    after_answer = answered;
    if (!answered) continue;

    nlohmann::json answer = ProbeJson(p);
    const bool known = !reported.insert(WireKey(p)).second;
    bool shown = false;
    if (!known) {
      // Confirmed as the configurator would reach it: name and version read. A
      // converter woken from Modbus answers RAVIK now.
      PortSettings& link = device->LinkSet();
      CopyLineAndAddress({.baud = p.baud, .bytesize = p.bytesize, .parity = p.parity,
                          .stopbits = p.stopbits, .address = p.address, .alen = p.alen},
                         link);
      link.devtype.clear();
      link.fwver.clear();
      const bool named = device->ReadTextParam("dev", link.devtype);
      device->ReadTextParam("ver", link.fwver);
      nlohmann::json hit = ProbeJson(p);
      bool restored = true;
      if (p.proto != kRavik) {
        // Back into the protocol it was found in, so that the scan leaves it as it
        // was; a register read in that protocol shows that it took.
        const bool ascii = p.proto == kAscii;
        restored = device->SetConverterProtocol(ascii) && AnswersModbus(*device, ascii);
        hit["restored"] = restored;
      }
      progress.Clear();
      if (p.proto != kRavik && !named) {
        // Something acknowledged the coil but is no converter that answers RAVIK.
        out.Note(Format("по %s адрес %d (%s) ответило устройство, но не как преобразователь KV4T",
                        ProtocolName(p.proto), p.address, DescribePortSettings(link).c_str()));
      } else {
        hit["device"] = Cp1251ToUtf8(link.devtype);
        hit["version"] = Cp1251ToUtf8(link.fwver);
        out.result["found"].push_back(hit);
        shown = true;
        out.Line(Format("найден %s %s: %s, адрес %d (%d бит), протокол %s",
                        Cp1251ToUtf8(link.devtype).c_str(), Cp1251ToUtf8(link.fwver).c_str(),
                        DescribePortSettings(link).c_str(), p.address, p.alen,
                        ProtocolName(p.proto)));
      }
      if (!restored) {
        left_changed = true;
        out.Error(Format("преобразователь по адресу %d (%s) не удалось вернуть в протокол %s",
                         p.address, DescribePortSettings(link).c_str(), ProtocolName(p.proto)));
      }
    }
    answer["ms"] = std::chrono::duration<double, std::milli>(Clock::now() - probe_start).count();
    answer["reported"] = shown;
    out.result["answers"].push_back(answer);
    if (shown && !scan.all) break;
  }
  progress.Clear();
  device->ClosePort();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  out.result["probes"] = done;
  out.result["seconds"] = seconds;
  const serio_echo echo = channel.echo();
  out.result["echo"] = echo == serio_echo::present  ? "present"
                       : echo == serio_echo::absent ? "absent"
                                                    : "unknown";
  if (echo == serio_echo::present) {
    out.result["echo_delay_ms"] = echo_ms;
    out.Note(Format("порт возвращает переданные байты (эхо), оно отброшено; наибольшая задержка "
                    "эха %d мс",
                    echo_ms));
  }
  if (console_interrupted()) {
    out.Error(Format("сканирование прервано после %zu проб", done));
    return out.Finish(kExitInterrupted);
  }
  if (out.result["found"].empty()) {
    out.Error(Format("преобразователь не найден (%zu проб, %.1f с)", done, seconds));
    return out.Finish(kExitNoAnswer);
  }
  return out.Finish(left_changed ? kExitNoAnswer : kExitDone);
}
