#include "cli/commands.h"

#include <filesystem>
#include <functional>

#include "catalogue/catalogue.h"
#include "cli/adaptor.h"
#include "cli/checks.h"
#include "cli/console.h"
#include "common/code_pages.h"
#include "common/file_io.h"
#include "common/setting_values.h"
#include "device/device_texts.h"
#include "link/serio.h"

namespace {

// The end of a command that reached the converter: the port closed, an
// interruption reported as such.
int Close(ConverterDevice& device, Output& out, int code) {
  device.ClosePort();
  if (console_interrupted()) {
    out.Error("прервано");
    code = kExitInterrupted;
  }
  return out.Finish(code);
}

// The common frame of the commands that only talk to a reached converter: body
// runs once the converter has answered as a KV4T; the first failure's code wins.
int AtConverter(const CommonArgs& args,
                const std::function<int(ConverterDevice&, Output&)>& body) {
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  code = ReachConverter(*device, out);
  if (code == kExitDone) code = body(*device, out);
  return Close(*device, out, code);
}

void ShowSettings(Output& out, const char* key, const char* title, const PortSettings& s,
                  bool loop) {
  out.result[key] = SettingsJson(s, loop);
  out.Line(Format("%s: %s", title, SettingsText(s, loop).c_str()));
}

}  // namespace

bool LoopArgs::ApplyTo(PortSettings& loop, std::string& error) const {
  if (instrument || version) {
    const std::string name = instrument ? Utf8ToCp1251(*instrument) : loop.devtype;
    std::string ver = version ? Utf8ToCp1251(*version) : std::string();
    if (!version) {
      // The first entry of that name when no version is given.
      for (const auto& entry : Catalogue().entries())
        if (entry->name == name) {
          ver = entry->version;
          break;
        }
    }
    if (!FindDescription(name, ver)) {
      error = Format("прибора \"%s\" (%s) нет в каталоге", Cp1251ToUtf8(name).c_str(),
                     Cp1251ToUtf8(ver).c_str());
      return false;
    }
    if (name != loop.devtype || ver != loop.fwver) {
      DescriptionDefaults(name, ver, loop.baud, loop.bytesize, loop.parity, loop.stopbits);
      loop.devtype = name;
      loop.fwver = ver;
    }
  }
  if (line.baud) loop.baud = *line.baud;
  if (line.bits) loop.bytesize = *line.bits;
  if (line.parity) loop.parity = *line.parity;
  if (line.stop) loop.stopbits = *line.stop;
  if (line.delay) loop.delay = *line.delay;
  return true;
}

int RunPorts(const CommonArgs& args) {
  Output out(args);
  out.result["ports"] = nlohmann::json::array();
  for (int number : scan_serial_ports()) {
    const std::wstring name = serial_port_name(number);
    const std::string path = WideToUtf8(port_device_path(name));
    const std::string com = WideToUtf8(name);
    nlohmann::json port = {{"name", com}, {"path", path}, {"aliases", nlohmann::json::array()}};
    std::string line = com;
    if (path != com) line += "  " + path;
    for (const std::string& alias : port_aliases(path)) {
      port["aliases"].push_back(alias);
      line += "  " + alias;
    }
    out.Line(line);
    // A USB adaptor's identity and hints, where the system tells them (Linux).
    const AdaptorInfo adaptor = DescribeAdaptor(path);
    const std::string identity = AdaptorLine(adaptor);
    if (!identity.empty()) {
      port["adaptor"] = {{"tty", adaptor.tty},           {"driver", adaptor.driver},
                         {"vendor_id", adaptor.vendor_id}, {"product_id", adaptor.product_id},
                         {"manufacturer", adaptor.manufacturer}, {"product", adaptor.product},
                         {"serial", adaptor.serial},     {"by_id", adaptor.by_id}};
      if (adaptor.latency_timer_ms >= 0) port["adaptor"]["latency_timer_ms"] = adaptor.latency_timer_ms;
      out.Line("    " + identity);
    }
    const std::vector<std::string> hints = AdaptorHints(adaptor);
    if (!hints.empty()) port["hints"] = hints;
    for (const std::string& hint : hints) out.Line("    подсказка: " + hint);
    out.result["ports"].push_back(port);
  }
  if (out.result["ports"].empty()) out.Line("последовательных портов не найдено");
  return out.Finish(kExitDone);
}

int RunIdentify(const CommonArgs& args) {
  return AtConverter(args, [](ConverterDevice& device, Output& out) {
    const std::string name = Cp1251ToUtf8(device.LinkSet().devtype);
    const std::string version = Cp1251ToUtf8(device.LinkSet().fwver);
    out.result["device"] = name;
    out.result["version"] = version;
    out.Line(name + " " + version);
    return kExitDone;
  });
}

int RunLoopRead(const CommonArgs& args) {
  return AtConverter(args, [](ConverterDevice& device, Output& out) {
    PortSettings loop;
    if (!device.ReadLoopSettings(&loop)) {
      out.Error(device_text::kLoopReadFailed);
      return kExitNoAnswer;
    }
    ShowSettings(out, "loop", "токовая петля", loop, true);
    out.result["known"] = HasDescription(loop.devtype, loop.fwver);
    return kExitDone;
  });
}

int RunLoopWrite(const CommonArgs& args, const LoopArgs& loop_args) {
  return AtConverter(args, [&loop_args](ConverterDevice& device, Output& out) {
    // What is not given stays as the converter holds it.
    PortSettings& loop = device.LoopSet();
    if (!device.ReadLoopSettings(&loop)) {
      out.Error(device_text::kLoopReadFailed);
      return kExitNoAnswer;
    }
    std::string error;
    if (!loop_args.ApplyTo(loop, error) || !(error = CheckLoopSettings(loop)).empty()) {
      out.Error(error);
      return kExitUsage;
    }
    if (!device.WriteLoopSettings()) {
      out.Error(device_text::kLoopWriteFailed);
      return kExitNoAnswer;
    }
    ShowSettings(out, "loop", "записано в токовую петлю", loop, true);
    return kExitDone;
  });
}

int RunRs485Write(const CommonArgs& args, const LineArgs& target, bool verify) {
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  // The converter's present settings are those it answers at; the protocol and
  // the answer delay come from the configuration file unless given.
  PortSettings& rs = device->Rs485Set();
  CopyLineAndAddress(device->LinkSet(), rs);
  std::string error;
  if (!target.ApplyTo(rs, error) || !(error = CheckRs485Settings(rs)).empty()) {
    out.Error(error);
    return out.Finish(kExitUsage);
  }
  code = ReachConverter(*device, out);
  if (code != kExitDone) return Close(*device, out, code);
  if (!device->WriteRs485Settings()) {
    out.Error(device_text::kRs485WriteFailed);
    return Close(*device, out, kExitNoAnswer);
  }
  ShowSettings(out, "rs485", "записано и применено (APLY)", rs, false);
  if (!verify) return Close(*device, out, kExitDone);

  const Verification verification = VerifyNewSettings(*device);
  out.result["verified"] = verification.answered;
  if (!verification.answered) {
    out.Error(verification.text);
    return Close(*device, out, kExitNoAnswer);
  }
  out.Line(verification.text);
  return Close(*device, out, kExitDone);
}

int RunConfigShow(const CommonArgs& args, const std::string& file) {
  CommonArgs with_file = args;
  with_file.config = file;
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(with_file, out, &code);
  if (!device) return out.Finish(code);
  out.result["port"] = Cp1251ToUtf8(device->LinkSet().port);
  out.result["adaptor"] =
      device->LinkSet().adaptor == ToValue(Adaptor::kControlled) ? "rts" : "auto";
  out.Line(Format("порт: %s", Cp1251ToUtf8(device->LinkSet().port).c_str()));
  ShowSettings(out, "link", "связь", device->LinkSet(), false);
  ShowSettings(out, "rs485", "RS-485", device->Rs485Set(), false);
  ShowSettings(out, "loop", "токовая петля", device->LoopSet(), true);
  return out.Finish(kExitDone);
}

int RunConfigWrite(const CommonArgs& args, const std::string& file, const LineArgs& rs485,
                   const LoopArgs& loop) {
  Output out(args);
  int code = kExitDone;
  auto device = MakeDevice(args, out, &code);
  if (!device) return out.Finish(code);
  std::string error;
  if (!rs485.ApplyTo(device->Rs485Set(), error) || !loop.ApplyTo(device->LoopSet(), error) ||
      !(error = CheckRs485Settings(device->Rs485Set())).empty() ||
      !(error = CheckLoopSettings(device->LoopSet())).empty()) {
    out.Error(error);
    return out.Finish(kExitUsage);
  }
  if (device->SaveConfigFile(Utf8ToCp1251(file)) != kConfigFileOk) {
    out.Error(Format("не удалось записать файл \"%s\"", file.c_str()));
    return out.Finish(kExitUsage);
  }
  out.result["file"] = file;
  out.Line(Format("записан файл %s", file.c_str()));
  return out.Finish(kExitDone);
}

int RunCatalogCheck(const CommonArgs& args, const std::vector<std::string>& files) {
  Output out(args);
  int code = kExitDone;
  out.result["files"] = nlohmann::json::array();
  for (const std::string& file : files) {
    nlohmann::json report = {{"file", file}, {"entries", nlohmann::json::array()}};
    std::vector<std::string> faults;
    std::vector<uint8_t> bytes;
    const FileReadStatus read =
        ReadWholeFile(std::filesystem::u8path(file), false, kMaxDescriptionFileBytes, bytes);
    // The file alone forms the catalogue, so that the loop checks see its entries.
    InstrumentCatalogue& catalogue = Catalogue();
    catalogue.Clear();
    if (read != FileReadStatus::kOk) {
      faults.push_back("файл не читается или больше допустимого размера");
    } else {
      catalogue.LoadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      if (catalogue.empty()) faults.push_back("в файле нет описаний приборов (или он не разобран)");
    }
    for (const auto& entry : catalogue.entries()) {
      const std::string name = Cp1251ToUtf8(entry->name) + " (" + Cp1251ToUtf8(entry->version) + ")";
      report["entries"].push_back({{"name", Cp1251ToUtf8(entry->name)},
                                   {"version", Cp1251ToUtf8(entry->version)},
                                   {"bauds", entry->validbauds}});
      // The entry must be usable as it stands: its own defaults pass the loop checks.
      const PortSettings defaults{.devtype = entry->name, .fwver = entry->version,
                                  .baud = entry->defbaud, .bytesize = entry->defbytesize,
                                  .parity = entry->defparity, .stopbits = entry->defstopbits,
                                  .delay = PollIndexForBaud(*entry, entry->defbaud)};
      const std::string fault = entry->validbauds.empty()
                                    ? std::string("нет допустимых скоростей")
                                    : CheckLoopSettings(defaults);
      if (!fault.empty()) faults.push_back(name + ": " + fault);
      std::string rates;
      for (int32_t baud : entry->validbauds) rates += (rates.empty() ? "" : ", ") + std::to_string(baud);
      out.Line(Format("%s: %s, скорости: %s", file.c_str(), name.c_str(), rates.c_str()));
    }
    report["faults"] = faults;
    out.result["files"].push_back(report);
    for (const std::string& fault : faults) out.Error(file + ": " + fault);
    if (!faults.empty()) code = kExitNoAnswer;
  }
  return out.Finish(code);
}
