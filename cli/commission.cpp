#include "cli/commission.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "cli/commission_plan.h"
#include "cli/commission_report.h"
#include "cli/console.h"
#include "cli/adaptor.h"
#include "cli/scan.h"
#include "common/code_pages.h"
#include "common/file_io.h"
#include "device/device_texts.h"
#include "link/port.h"
#include "link/serio.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Between two probes while waiting for a converter, and between two attempts to
// open a port that has gone (a USB adaptor pulled out and put back).
constexpr auto kPollPause = std::chrono::milliseconds(250);
constexpr auto kPauseSlice = std::chrono::milliseconds(25);

// What to look at when a converter is not reached, is not written or does not
// answer at its new settings.
constexpr const char* kCheckLine =
    "проверьте кабель, питание преобразователя и тип адаптера (--adaptor auto или rts)";
constexpr const char* kCheckScan =
    "преобразователь с другими настройками найдёт команда \"kv4t scan\"";

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  char text[32] = "";
  if (utc) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
  return text;
}

// One converter's row tried once.
enum class Attempt { kDone, kFailed, kSkipped, kQuit, kInterrupted };

class Commissioning {
 public:
  Commissioning(const CommissionArgs& args, Output& out, ConverterDevice& device, const Plan& plan,
                std::vector<std::optional<ReportRecord>> records)
      : args_(args), out_(out), device_(device), plan_(plan), records_(std::move(records)),
        earlier_(records_.size()),
        interactive_(console_stdin_is_terminal() && console_stderr_is_terminal()),
        status_shown_(interactive_ && !out.json() && !out.quiet()) {
    for (std::size_t i = 0; i < records_.size(); ++i)
      earlier_[i] = records_[i] && records_[i]->outcome == RowOutcome::kDone;
  }

  // The whole run: its exit code.
  int Run();
  // The report as it stands; false when it cannot be written.
  bool SaveReport();

 private:
  Attempt Try(const PlanRow& row, ReportRecord& record);
  // Until a converter answers the probe at the factory settings; false on Ctrl-C.
  bool WaitForConverter();
  // The terminal's prompt before a row: Enter, "s" or "q".
  Attempt Prompt(const PlanRow& row);
  void Pause();
  void Status(const std::string& text);
  void ClearStatus();
  nlohmann::json RowsJson() const;

  const CommissionArgs& args_;
  Output& out_;
  ConverterDevice& device_;
  const Plan& plan_;
  std::vector<std::optional<ReportRecord>> records_;  // by the plan's rows
  std::vector<bool> earlier_;  // done by an earlier run of the report
  bool interactive_;
  bool status_shown_;
  bool status_dirty_ = false;
};

void Commissioning::Pause() {
  for (auto until = Clock::now() + kPollPause; Clock::now() < until && !console_interrupted();)
    std::this_thread::sleep_for(kPauseSlice);
}

void Commissioning::Status(const std::string& text) {
  if (!status_shown_) return;
  std::fprintf(stderr, "\r%s ", text.c_str());
  std::fflush(stderr);
  status_dirty_ = true;
}

void Commissioning::ClearStatus() {
  if (!status_dirty_) return;
  std::fprintf(stderr, "\r%72s\r", "");
  std::fflush(stderr);
  status_dirty_ = false;
}

bool Commissioning::WaitForConverter() {
  const PortSettings factory = FactoryTarget();
  const ScanProbe probe{factory.baud, factory.bytesize, factory.parity, factory.stopbits,
                        factory.address, factory.alen};
  const std::string where =
      Format("%s, адрес %d", DescribePortSettings(factory).c_str(), factory.address);
  // Behind a USB adaptor the probe waits as long as its latency timer may hold the
  // answer back, as the scan's probes do.
  const std::string& port = device_.LinkSet().port;
  const int64_t latency_us =
      port.empty() ? 0
                   : LatencyOf(DescribeAdaptor(WideToUtf8(port_device_path(Cp1251ToWide(port)))),
                               std::nullopt).ms * int64_t{1000};
  if (!status_shown_) out_.Line("  ожидание преобразователя на заводских настройках (" + where + ")");
  const auto started = Clock::now();
  for (;;) {
    if (console_interrupted()) return false;
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();
    Status(Format("  ожидание преобразователя на заводских настройках (%s)... %lld с",
                  where.c_str(), static_cast<long long>(seconds)));
    // A port that has gone is opened again once it is back.
    if (!device_.connected && !device_.OpenPort()) {
      Pause();
      continue;
    }
    if (ProbeOnce(device_, probe, latency_us)) {
      ClearStatus();
      return true;
    }
    if (device_.channel->status() == serio_io_error) device_.ClosePort();
    Pause();
  }
}

Attempt Commissioning::Prompt(const PlanRow& row) {
  std::fprintf(stderr,
               "Подключите преобразователь для «%s» с заводскими настройками и нажмите Enter "
               "(s — пропустить строку, q — закончить): ",
               row.tag.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!console_read_line(answer)) {
    std::fputc('\n', stderr);
    return console_interrupted() ? Attempt::kInterrupted : Attempt::kQuit;
  }
  if (answer == "s" || answer == "S") return Attempt::kSkipped;
  if (answer == "q" || answer == "Q") return Attempt::kQuit;
  return Attempt::kDone;
}

Attempt Commissioning::Try(const PlanRow& row, ReportRecord& record) {
  // Every new converter answers at the factory settings.
  PortSettings& link = device_.LinkSet();
  CopyLineAndAddress(FactoryTarget(), link);
  link.devtype.clear();
  link.fwver.clear();
  if (args_.wait) {
    if (!WaitForConverter()) return Attempt::kInterrupted;
  } else {
    const Attempt answer = Prompt(row);
    if (answer != Attempt::kDone) return answer;
    if (!device_.connected && !device_.OpenPort()) {
      record.message = Format("%s \"%s\".", device_text::kCannotUsePort,
                              Cp1251ToUtf8(link.port).c_str());
      return Attempt::kFailed;
    }
  }
  if (console_interrupted()) return Attempt::kInterrupted;
  std::string error;
  const bool identified = IdentifyConverter(device_, error) == kExitDone;
  // Another device's name is worth recording too.
  record.device = Cp1251ToUtf8(link.devtype);
  record.version = Cp1251ToUtf8(link.fwver);
  if (!identified) {
    record.message = error + "; " + kCheckLine + "; " + kCheckScan;
    return Attempt::kFailed;
  }
  out_.Line(Format("  найден %s %s", record.device.c_str(), record.version.c_str()));
  // The last moment Ctrl-C ends the run at once: once the first setting has gone
  // out, the write, "APLY" and the check at the new settings are finished first,
  // so that the converter is never left half written or unrecorded.
  if (console_interrupted()) return Attempt::kInterrupted;

  PortSettings& rs = device_.Rs485Set();
  CopyLineAndAddress(row.target, rs);
  rs.proto = row.target.proto;
  rs.delay = row.target.delay;
  if (!device_.WriteRs485Settings()) {
    record.message = std::string(device_text::kRs485WriteFailed) + " " + kCheckLine;
    return Attempt::kFailed;
  }
  out_.Line("  записано и применено (APLY)");
  const Verification verification = VerifyNewSettings(device_);
  if (!verification.answered) {
    record.message = verification.text + "; " + kCheckLine;
    return Attempt::kFailed;
  }
  out_.Line("  " + verification.text);
  return Attempt::kDone;
}

bool Commissioning::SaveReport() {
  if (args_.report.empty()) return true;
  std::vector<ReportRecord> records;
  for (const auto& record : records_)
    if (record) records.push_back(*record);
  const std::string text = WriteReport(records, plan_.separator);
  if (WriteFileReplacing(fs::u8path(args_.report), text.data(), text.size())) return true;
  out_.Error(Format("не удалось записать отчёт \"%s\"", args_.report.c_str()));
  return false;
}

nlohmann::json Commissioning::RowsJson() const {
  nlohmann::json rows = nlohmann::json::array();
  for (std::size_t i = 0; i < plan_.rows.size(); ++i) {
    const PlanRow& row = plan_.rows[i];
    nlohmann::json j = {{"row", row.row}, {"tag", row.tag},
                        {"settings", SettingsJson(row.target, false)},
                        {"earlier", static_cast<bool>(earlier_[i])}};
    if (const auto& r = records_[i]) {
      j["outcome"] = OutcomeWord(r->outcome);
      j["device"] = r->device;
      j["version"] = r->version;
      j["time"] = r->time;
      j["message"] = r->message;
    } else {
      j["outcome"] = nullptr;
    }
    rows.push_back(std::move(j));
  }
  return rows;
}

int Commissioning::Run() {
  const std::size_t total = plan_.rows.size();
  bool stopped = false;
  int code = kExitDone;
  for (std::size_t i = 0; i < total && !stopped && !console_interrupted(); ++i) {
    const PlanRow& row = plan_.rows[i];
    const std::string heading = Format("%zu из %zu: %s", i + 1, total, row.tag.c_str());
    if (earlier_[i]) {
      out_.Line(heading + " — уже выполнено (по отчёту)");
      continue;
    }
    out_.Line(heading + " — " + SettingsText(row.target, false));
    for (int retries_left = args_.retries;;) {
      ReportRecord record{.tag = row.tag, .target = row.target};
      const Attempt attempt = Try(row, record);
      ClearStatus();
      device_.ClosePort();
      if (attempt == Attempt::kInterrupted) break;
      if (attempt == Attempt::kQuit) {
        out_.Line("  работа закончена, строка не выполнена");
        stopped = true;
        break;
      }
      record.time = UtcNow();
      record.outcome = attempt == Attempt::kDone      ? RowOutcome::kDone
                       : attempt == Attempt::kSkipped ? RowOutcome::kSkipped
                                                      : RowOutcome::kFailed;
      records_[i] = record;
      if (!SaveReport()) {
        code = kExitUsage;
        stopped = true;
        break;
      }
      if (attempt == Attempt::kDone) {
        out_.Line("  выполнено");
        break;
      }
      if (attempt == Attempt::kSkipped) {
        out_.Line("  пропущено");
        break;
      }
      out_.Error(Format("%s: %s", heading.c_str(), record.message.c_str()));
      if (console_interrupted()) break;
      if (args_.on_failure == OnFailure::kRetry && retries_left > 0) {
        --retries_left;
        out_.Line(Format("  ещё попытка (осталось %d)", retries_left));
        continue;
      }
      if (args_.on_failure != OnFailure::kSkip) stopped = true;
      break;
    }
  }

  std::size_t done = 0;
  for (const auto& record : records_) done += record && record->outcome == RowOutcome::kDone;
  out_.result["rows"] = RowsJson();
  out_.result["done"] = done;
  out_.result["total"] = total;
  out_.Line(Format("итог: выполнено %zu из %zu%s%s", done, total,
                   args_.report.empty() ? "" : ", отчёт ", args_.report.c_str()));
  if (console_interrupted()) {
    out_.Error("прервано");
    return kExitInterrupted;
  }
  if (code != kExitDone) return code;
  return done == total ? kExitDone : kExitNoAnswer;
}

// The findings of a plan or a report, each with its file and row.
int Refuse(Output& out, const std::string& file, const std::vector<CsvFinding>& findings) {
  nlohmann::json list = nlohmann::json::array();
  for (const CsvFinding& f : findings) {
    list.push_back({{"file", file}, {"row", f.row}, {"text", f.text}});
    out.Error(f.row > 0 ? Format("%s, строка %d: %s", file.c_str(), f.row, f.text.c_str())
                        : Format("%s: %s", file.c_str(), f.text.c_str()));
  }
  out.result["findings"] = list;
  return out.Finish(kExitUsage);
}

// A whole file: kOk, or the reason it was not read in error.
FileReadStatus ReadFile(const std::string& file, const char* what, std::vector<uint8_t>& bytes,
                        std::string& error) {
  const FileReadStatus status = ReadWholeFile(fs::u8path(file), false, kMaxPlanBytes, bytes);
  if (status == FileReadStatus::kMissing)
    error = Format("нет файла %s \"%s\"", what, file.c_str());
  else if (status == FileReadStatus::kTooLarge)
    error = Format("файл %s \"%s\" больше %zu байт", what, file.c_str(), kMaxPlanBytes);
  else if (status != FileReadStatus::kOk)
    error = Format("файл %s \"%s\" не читается", what, file.c_str());
  return status;
}

std::string_view TextOf(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

int RunCommission(const CommonArgs& args, const CommissionArgs& commission) {
  Output out(args);
  out.result["plan"] = commission.plan;
  const LineArgs& link = args.link;
  if (link.baud || link.bits || link.parity || link.stop || link.address || link.alen) {
    out.Error("commission ищет каждый новый преобразователь на заводских настройках: "
              "--baud, --bits, --parity, --stop, --address и --alen здесь не задаются; "
              "настройки строк, которых нет в плане, — --new-baud, --new-bits и другие");
    return out.Finish(kExitUsage);
  }
  const bool interactive = console_stdin_is_terminal() && console_stderr_is_terminal();
  if (!commission.wait && !interactive) {
    out.Error("без терминала спросить о подключении некого: задайте --wait, и kv4t будет ждать "
              "каждый преобразователь на заводских настройках");
    return out.Finish(kExitUsage);
  }

  std::vector<uint8_t> bytes;
  std::string error;
  if (ReadFile(commission.plan, "плана", bytes, error) != FileReadStatus::kOk) {
    out.Error(error);
    return out.Finish(kExitUsage);
  }
  Plan plan;
  std::vector<CsvFinding> findings = ReadPlan(TextOf(bytes), commission.defaults, plan);
  if (!findings.empty()) return Refuse(out, commission.plan, findings);

  // Rows a report of an earlier run already holds, by the plan's rows.
  std::vector<std::optional<ReportRecord>> records(plan.rows.size());
  if (!commission.report.empty()) {
    out.result["report"] = commission.report;
    std::error_code same_error;
    if (fs::equivalent(fs::u8path(commission.plan), fs::u8path(commission.report), same_error)) {
      out.Error("отчёт записывается в другой файл, не в план");
      return out.Finish(kExitUsage);
    }
    const FileReadStatus status = ReadFile(commission.report, "отчёта", bytes, error);
    if (status != FileReadStatus::kOk && status != FileReadStatus::kMissing) {
      out.Error(error);
      return out.Finish(kExitUsage);
    }
    std::vector<ReportRecord> earlier;
    if (status == FileReadStatus::kOk) {
      findings = ReadReport(TextOf(bytes), earlier);
      if (findings.empty()) findings = MatchReport(plan, earlier);
      if (!findings.empty()) return Refuse(out, commission.report, findings);
    }
    for (ReportRecord& record : earlier)
      for (std::size_t i = 0; i < plan.rows.size(); ++i)
        if (plan.rows[i].tag == record.tag) records[i] = std::move(record);
  }

  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  CopyLineAndAddress(FactoryTarget(), device->LinkSet());
  Commissioning run(commission, out, *device, plan, std::move(records));
  // Written before anything is sent: a report that cannot be written stops the
  // run while every converter is still as it was.
  if (!run.SaveReport()) return out.Finish(kExitUsage);
  code = OpenLink(*device, out);
  if (code != kExitDone) return out.Finish(code);
  device->ClosePort();
  return out.Finish(run.Run());
}
