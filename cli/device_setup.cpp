#include <filesystem>

#include "catalogue/catalogue.h"
#include "cli/adaptor.h"
#include "cli/checks.h"
#include "cli/console.h"
#include "cli/tool.h"
#include "cli/trace.h"
#include "common/code_pages.h"
#include "common/setting_values.h"
#include "device/device_texts.h"
#include "link/diag_log.h"
#include "link/port.h"

namespace {

// By the settings' numbering (Parity, Protocol).
const char* const kParityNames[] = {"none", "odd", "even"};
const char* const kProtoNames[] = {"RAVIK", "MODBUS-ASCII", "MODBUS-RTU"};

template <typename T>
const char* NameOf(const T& names, int value) {
  const int count = static_cast<int>(std::size(names));
  return value >= 0 && value < count ? names[value] : "?";
}

}  // namespace

const char* ProtocolName(int proto) { return NameOf(kProtoNames, proto); }

bool LineArgs::ApplyTo(PortSettings& record, std::string& error) const {
  if (baud) {
    error = CheckStandardRate(*baud);
    if (!error.empty()) return false;
    record.baud = *baud;
  }
  if (bits) record.bytesize = *bits;
  if (parity) record.parity = *parity;
  if (stop) record.stopbits = *stop;
  if (alen) record.alen = *alen;
  if (address) record.address = *address;
  if (proto) record.proto = *proto;
  if (delay) record.delay = *delay;
  return true;
}

void CopyLineAndAddress(const PortSettings& from, PortSettings& to) {
  for (int32_t PortSettings::*field : {&PortSettings::baud, &PortSettings::bytesize,
                                       &PortSettings::parity, &PortSettings::stopbits,
                                       &PortSettings::address, &PortSettings::alen})
    to.*field = from.*field;
}

nlohmann::json SettingsJson(const PortSettings& s, bool loop) {
  nlohmann::json j = {{"baud", s.baud},
                      {"bits", s.bytesize},
                      {"parity", NameOf(kParityNames, s.parity)},
                      {"stop", s.stopbits == ToValue(StopBits::kTwo) ? 2 : 1}};
  if (loop) {
    j["instrument"] = Cp1251ToUtf8(s.devtype);
    j["version"] = Cp1251ToUtf8(s.fwver);
    j["poll"] = s.delay;
  } else {
    j["address"] = s.address;
    j["alen"] = s.alen;
    j["protocol"] = ProtocolName(s.proto);
    j["delay"] = s.delay;
  }
  return j;
}

std::string SettingsText(const PortSettings& s, bool loop) {
  const std::string line = DescribePortSettings(s);
  if (loop)
    return Format("%s (%s), %s, опрос %d с", Cp1251ToUtf8(s.devtype).c_str(),
                  Cp1251ToUtf8(s.fwver).c_str(), line.c_str(), s.delay);
  return Format("%s, адрес %d (%d бит), протокол %s, задержка %d", line.c_str(), s.address,
                s.alen, ProtocolName(s.proto), s.delay);
}

std::unique_ptr<ConverterDevice> MakeDevice(const CommonArgs& args, Output& out, int* code) {
  // The channel's diagnostic lines would pile up in memory for the whole run (a
  // long "test --repeat" writes tens of thousands); --trace shows the frames.
  diag_log_sink([](void*, const char*) {}, nullptr);
  LoadCatalogue();
  auto device = std::make_unique<ConverterDevice>();
  *code = kExitUsage;
  if (!args.config.empty()) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(args.config, error)) {
      out.Error(Format("нет файла конфигурации \"%s\"", args.config.c_str()));
      return nullptr;
    }
    if (device->LoadConfigFile(Utf8ToCp1251(args.config)) != kConfigFileOk) {
      out.Error(Format("\"%s\" не является файлом конфигурации", args.config.c_str()));
      return nullptr;
    }
  }
  PortSettings& link = device->LinkSet();
  if (!args.port.empty()) link.port = Utf8ToCp1251(resolve_port_alias(args.port));
  std::string error;
  if (!args.link.ApplyTo(link, error)) {
    out.Error(error);
    return nullptr;
  }
  if (args.adaptor) link.adaptor = *args.adaptor;
  // Refused before anything is sent: an 8-bit request to address 300 would reach
  // converter 44.
  error = CheckLinkAddress(link);
  if (!error.empty()) {
    out.Error(error);
    return nullptr;
  }
  if (!args.trace.empty()) {
    auto channel = MakeTraceChannel(args.trace);
    if (!channel) {
      out.Error(Format("не удалось открыть файл трассировки \"%s\"", args.trace.c_str()));
      return nullptr;
    }
    device->channel = std::move(channel);
  }
  *code = kExitDone;
  return device;
}

int OpenLink(ConverterDevice& device, Output& out) {
  const PortSettings& link = device.LinkSet();
  if (link.port.empty()) {
    out.Error("порт не задан (--port)");
    return kExitUsage;
  }
  if (out.low_latency())
    out.Note(BeginLowLatency(WideToUtf8(port_device_path(Cp1251ToWide(link.port)))));
  if (!device.OpenPort()) {
    out.Error(Format("%s \"%s\".", device_text::kCannotUsePort,
                     Cp1251ToUtf8(link.port).c_str()));
    return kExitPort;
  }
  return kExitDone;
}

int ReachConverter(ConverterDevice& device, Output& out) {
  int code = OpenLink(device, out);
  if (code != kExitDone) return code;
  std::string error;
  code = IdentifyConverter(device, error);
  if (code != kExitDone) out.Error(error);
  return code;
}

int IdentifyConverter(ConverterDevice& device, std::string& error) {
  const PortSettings& link = device.LinkSet();
  if (!device.Identify()) {
    error = device_text::kNoLink;
    return kExitNoAnswer;
  }
  if (!device.IsKS4T()) {
    error = Format("%s (%s)", device_text::kNotKV4T, Cp1251ToUtf8(link.devtype).c_str());
    return kExitNoAnswer;
  }
  return kExitDone;
}
