// The device operations of ConverterDevice: everything the configurator says to
// the converter goes through here. Requests are RAVIK frames addressed with the
// link set (the converter as it answers now); the RS-485 set describes what it is
// to become once "APLY" has been sent.
#include "device/converter_device.h"

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/code_pages.h"
#include "common/program_strings.h"
#include "common/setting_values.h"
#include "device/code_tables.h"
#include "device/settings_rules.h"
#include "link/modbus.h"
#include "link/ravik.h"
#include "link/serio.h"

namespace {

// Every RAVIK request but "APLY" is tried this often before the operation fails.
constexpr int kRavikAttempts = 4;
constexpr int kCoilAttempts = 4;
constexpr int kRegisterAttempts = 2;
// When neither framing of the wake-up is acknowledged, the converter gets this
// long before the next RAVIK request.
constexpr auto kWakePause = std::chrono::milliseconds(1000);
constexpr std::size_t kMaxTextChars = 8;
constexpr const char* kApplyName = "APLY";
// The read that teaches the channel the port's echo when nothing was read yet.
constexpr const char* kEchoProbeName = "dev";

// The line parameters of the link set, set before every RAVIK request. Their
// results are not checked: a refused value leaves the previous one in force and
// the exchange itself tells whether the converter is reached.
void PrepareChannel(ConverterDevice& device) {
  const PortSettings& link = device.LinkSet();
  device.channel->set_turnaround(kTurnaroundUs);
  device.channel->set_params(link.baud, link.bytesize, link.parity, link.stopbits);
  device.channel->set_line_control(link.adaptor);
}

// One RAVIK request for the named parameter with the given data field, tried up to
// `attempts` times without a pause. The answer payload (when one is expected) lands
// in answer.
bool RavikExchange(ConverterDevice& device, std::string_view name, std::vector<uint8_t> data,
                   bool is_read, bool expect_answer, int attempts,
                   std::vector<uint8_t>& answer) {
  const PortSettings& link = device.LinkSet();
  const uint16_t id = ravik_hash(std::string(name).c_str(), nullptr);
  if (!ravik_make_request(data, is_read, link.alen == 11, link.address, id)) return false;
  device.channel->codec = device.ravik.get();
  device.channel->answer_override = 0;
  PrepareChannel(device);
  for (int attempt = 0; attempt < attempts; ++attempt) {
    // No answer equals a read request (its request flag is set), so a read may
    // teach the channel whether the port echoes; a write's echo may equal its
    // acknowledgement and teaches nothing.
    if (is_read && device.channel->echo() == serio_echo::unknown) device.channel->learn_echo = true;
    if (device.channel->transact(data, answer, expect_answer)) return true;
  }
  return false;
}

// A write's acknowledgement, and the wake-up coil's, repeat the request byte for
// byte: on an echoing line they cannot be told from the request's own echo, and a
// converter that is not there would seem to take every write. Before such a
// request on a port whose echo the channel has not learned yet, one read of "dev"
// teaches it (its answer, or its absence, does not matter). Every operation of the
// configurator reads first (Connect, Identify), so this read goes out only for a
// caller that writes straight after opening the port; the line parameters and the
// codec the next request goes out with are left as they were.
void LearnEchoFirst(ConverterDevice& device) {
  serio& channel = *device.channel;
  if (!channel.is_open() || channel.echo() != serio_echo::unknown) return;
  const int baud = channel.baud(), bytesize = channel.bytesize(), parity = channel.parity(),
            stopbits = channel.stopbits(), line_control = channel.line_control();
  frame_codec* const codec = channel.codec;
  std::vector<uint8_t> answer;
  RavikExchange(device, kEchoProbeName, {}, true, true, 1, answer);
  channel.set_params(baud, bytesize, parity, stopbits);
  channel.set_line_control(line_control);
  channel.codec = codec;
}

// A read answer: the header's request flag must be clear (a request echoed back
// or another master's request is not an answer). The data field follows the
// 4-byte header.
bool IsAnswer(const std::vector<uint8_t>& answer) {
  return answer.size() >= ravik_header_bytes && (answer[1] & ravik_request_flag) == 0;
}

bool ReadAnswer(ConverterDevice& device, std::string_view name, std::vector<uint8_t>& data) {
  std::vector<uint8_t> answer;
  if (!RavikExchange(device, name, {}, true, true, kRavikAttempts, answer)) return false;
  if (!IsAnswer(answer)) return false;
  data.assign(answer.begin() + ravik_header_bytes, answer.end());
  return true;
}

bool WriteData(ConverterDevice& device, std::string_view name, std::vector<uint8_t> data) {
  LearnEchoFirst(device);
  std::vector<uint8_t> answer;
  return RavikExchange(device, name, std::move(data), false, true, kRavikAttempts, answer);
}

// The Modbus wake-up: RTU first, then ASCII; when neither is acknowledged, a
// pause. Its outcome is not reported: the next RAVIK request tells.
void WakeUp(ConverterDevice& device) {
  if (device.ModbusWriteCoil(false, kWakeCoil, 1)) return;
  if (device.ModbusWriteCoil(true, kWakeCoil, 1)) return;
  std::this_thread::sleep_for(kWakePause);
}

// One Modbus request prepared in the device's request object, tried up to
// `attempts` times; the answer payload of the first transaction that succeeds.
bool ModbusExchange(ConverterDevice& device, bool ascii, int attempts,
                    std::vector<uint8_t>& answer) {
  LearnEchoFirst(device);
  device.channel->codec = ascii ? static_cast<frame_codec*>(device.modbusAscii.get())
                                : static_cast<frame_codec*>(device.modbusRtu.get());
  device.channel->answer_override = 0;
  std::vector<uint8_t> request;
  if (device.modbusRequest->build(request, -1) != modbus_request::ok) return false;
  for (int attempt = 0; attempt < attempts; ++attempt)
    if (device.channel->transact(request, answer, true)) return true;
  return false;
}

// The loop instrument's type and version, as the converter names them.
std::array<ParamEntry, 3> LoopNameRows(std::string& devtype, std::string& fwver) {
  return {ParamEntry::Text("dEv.L", &devtype), ParamEntry::Text("vEr.L", &fwver),
          ParamEntry::End()};
}

// The loop's line settings and the poll value of `record`.
std::array<ParamEntry, 6> LoopLineRows(PortSettings& record) {
  return {
      ParamEntry::Coded("BP.L", kTableLoopBaud, &record.baud),
      ParamEntry::Coded("LE.L", kTableByteSize, &record.bytesize),
      ParamEntry::Coded("Pr.L", kTableParity, &record.parity),
      ParamEntry::Coded("Sb.L", kTableStopBits, &record.stopbits),
      ParamEntry::Raw("FrEq", &record.delay),
      ParamEntry::End(),
  };
}

// One row of a parameter list; false when it failed (a row without a target fails
// without a request).
bool ExchangeRow(ConverterDevice& device, const ParamEntry& row, bool write) {
  if (row.kind() == ParamEntry::Kind::kText) {
    std::string* target = row.text();
    if (!target) return false;
    if (write) return device.WriteTextParam(row.name(), *target);
    std::string text;
    if (!device.ReadTextParam(row.name(), text)) return false;
    *target = std::move(text);
    return true;
  }
  int32_t* target = row.number();
  if (!target) return false;
  const bool coded = row.kind() == ParamEntry::Kind::kCoded;
  if (write)
    return device.WriteIntParam(row.name(),
                                coded ? TranslateCodeTable(true, row.table(), *target) : *target);
  int32_t value = 0;
  if (!device.ReadIntParam(row.name(), value)) return false;
  if (coded) {
    // A code the table does not know would put -1 into the settings; the row
    // fails instead and its setting keeps its value.
    value = TranslateCodeTable(false, row.table(), value);
    if (value < 0) return false;
  }
  *target = value;
  return true;
}

ConfigObject* CreateObject(const std::string& type) {
  if (type == ConverterSettings::kType) return new ConverterDevice();
  return nullptr;
}

void DestroyObject(ConfigObject* object) { delete object; }

}  // namespace

ConverterDevice::ConverterDevice()
    : channel(std::make_unique<serio>()),
      ravik(std::make_unique<ravik_codec>()),
      modbusAscii(std::make_unique<modbus_ascii_codec>()),
      modbusRtu(std::make_unique<modbus_rtu_codec>()),
      modbusRequest(std::make_unique<modbus_request>()) {}

ConverterDevice::~ConverterDevice() {
  if (channel && connected) channel->close();
  connected = false;
}

void RegisterConverterDeviceFactory() {
  RegisterObjectFactory(&CreateObject, &DestroyObject);
}

bool ConverterDevice::OpenPort() {
  if (connected) ClosePort();
  if (!channel->open(Cp1251ToWide(LinkSet().port))) return false;
  connected = true;
  return true;
}

bool ConverterDevice::ClosePort() {
  if (connected) channel->close();
  connected = false;
  return true;
}

DeviceOutcome ConverterDevice::Connect() {
  if (!OpenPort())
    return {DeviceResult::kPortUnusable,
            ProgramText(IDS_CANNOT_USE_PORT) + " \"" + LinkSet().port + "\"."};
  if (!Identify()) {
    ClosePort();
    return {DeviceResult::kNoAnswer, ProgramText(IDS_NO_LINK)};
  }
  if (IsKS4T()) return {};
  ClosePort();
  return {DeviceResult::kNotKV4T, ProgramText(IDS_NOT_KV4T)};
}

bool ConverterDevice::Identify() {
  std::string dev;
  if (!ReadTextParam("dev", dev)) {
    // The converter may be speaking Modbus on its RS-485 side.
    WakeUp(*this);
    if (!ReadTextParam("dev", dev)) return false;
  }
  std::string ver;
  ReadTextParam("ver", ver);  // an unanswered version leaves it empty
  PortSettings& link = LinkSet();
  link.devtype = dev;
  link.fwver = ver;
  return true;
}

bool ConverterDevice::IsKS4T() const { return LinkSet().devtype == "KS4T"; }

bool ConverterDevice::ReadIntParam(std::string_view name, int32_t& value) {
  std::vector<uint8_t> data;
  if (!ReadAnswer(*this, name, data)) return false;
  // Big-endian, as many bytes as the converter sent. Accumulated without sign so
  // that an over-long answer wraps instead of overflowing.
  uint32_t v = 0;
  for (uint8_t byte : data) v = v * 256u + byte;
  value = static_cast<int32_t>(v);
  return true;
}

bool ConverterDevice::ReadTextParam(std::string_view name, std::string& value) {
  value.clear();
  std::vector<uint8_t> data;
  if (!ReadAnswer(*this, name, data)) return false;
  // The converter sends a text last character first.
  value.assign(data.rbegin(), data.rend());
  return true;
}

bool ConverterDevice::WriteIntParam(std::string_view name, int32_t value) {
  std::vector<uint8_t> data;
  if (value < 256) {
    // One byte, negative values included (-1 goes out as 0xFF).
    data.push_back(static_cast<uint8_t>(value & 0xFF));
  } else {
    // Only the 16 low bits can be written.
    data.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    data.push_back(static_cast<uint8_t>(value & 0xFF));
  }
  return WriteData(*this, name, std::move(data));
}

bool ConverterDevice::WriteTextParam(std::string_view name, const std::string& value) {
  if (value.size() > kMaxTextChars) return false;
  return WriteData(*this, name, std::vector<uint8_t>(value.rbegin(), value.rend()));
}

bool ConverterDevice::SendApply() {
  // The converter switches its line at once and does not answer; nothing is
  // awaited and nothing is repeated.
  std::vector<uint8_t> answer;
  return RavikExchange(*this, kApplyName, {1}, false, false, 1, answer);
}

int32_t ConverterDevice::TranslateCode(bool to_converter, int table, int32_t value) {
  return TranslateCodeTable(to_converter, table, value);
}

bool ConverterDevice::ExchangeParams(const ParamEntry* list, bool write) {
  bool ok = true;
  for (const ParamEntry* row = list; row && !row->name().empty(); ++row)
    if (!ExchangeRow(*this, *row, write)) ok = false;
  return ok;
}

Rs485WriteOutcome ConverterDevice::WriteRs485Settings() {
  PortSettings& rs = Rs485Set();
  // The converter's own range for its address, whatever a page let through: the
  // set holds the address written.
  const auto correction =
      settings_rules::Check(settings_rules::Rule::kConverterAddressCorrection, rs);
  if (correction) settings_rules::ApplyCorrection(*correction, rs);
  Rs485WriteOutcome outcome;
  outcome.address = rs.address;
  outcome.corrected = correction.has_value();

  const ParamEntry rows[] = {
      ParamEntry::Coded("BPS", kTableRs485Baud, &rs.baud),
      ParamEntry::Coded("Len", kTableByteSize, &rs.bytesize),
      ParamEntry::Coded("PrtY", kTableParity, &rs.parity),
      ParamEntry::Coded("Sbit", kTableStopBits, &rs.stopbits),
      ParamEntry::Raw("rs.dl", &rs.delay),
      ParamEntry::Coded("A.Len", kTableAddrLen, &rs.alen),
      ParamEntry::Raw("addr", &rs.address),
      ParamEntry::Coded("PrOt", kTableProtocol, &rs.proto),
      ParamEntry::End(),
  };
  // A failed row leaves the rows before it written in the converter, but without
  // "APLY" none of them takes effect.
  if (!ExchangeParams(rows, true) || !SendApply()) {
    outcome.result = DeviceResult::kWriteFailed;
    outcome.text = ProgramText(IDS_RS485_WRITE_FAILED);
    return outcome;
  }

  // From now on the converter answers at its new settings; the port, the adaptor
  // and the protocol the computer speaks stay.
  PortSettings& link = LinkSet();
  for (int32_t PortSettings::*field : {&PortSettings::baud, &PortSettings::bytesize,
                                       &PortSettings::parity, &PortSettings::stopbits,
                                       &PortSettings::address, &PortSettings::alen,
                                       &PortSettings::delay})
    link.*field = rs.*field;
  link.changed = true;
  StoredLinkSet() = link;
  StoredRs485Set() = rs;
  return outcome;
}

DeviceOutcome ConverterDevice::WriteLoopSettings() {
  PortSettings& loop = LoopSet();
  // Both lists go out whole, one after the other, whatever row fails.
  const bool names = ExchangeParams(LoopNameRows(loop.devtype, loop.fwver).data(), true);
  const bool line = ExchangeParams(LoopLineRows(loop).data(), true);
  if (!names || !line) return {DeviceResult::kWriteFailed, ProgramText(IDS_LOOP_WRITE_FAILED)};
  StoredLoopSet() = loop;
  return {};
}

DeviceOutcome ConverterDevice::ReadLoopSettings(PortSettings* target) {
  const bool own = target == nullptr;
  PortSettings& record = own ? LoopSet() : *target;
  const DeviceOutcome failed{DeviceResult::kReadFailed, ProgramText(IDS_LOOP_READ_FAILED)};

  std::string devtype;
  std::string fwver;
  if (!ExchangeParams(LoopNameRows(devtype, fwver).data(), false)) return failed;

  if (!own || HasDescription(devtype, fwver)) {
    if (!ExchangeParams(LoopLineRows(record).data(), false)) return failed;
    record.devtype = devtype;
    record.fwver = fwver;
  } else {
    // An instrument the catalogue does not describe: the loop set starts over from
    // the first catalogue entry; the converter's other loop values are not read.
    ResetLoopDefaults();
  }
  record.changed = true;
  StoredLoopSet() = record;
  return {};
}

bool ConverterDevice::SetConverterProtocol(bool ascii) {
  // "PrOt" carries the converter's own numbering.
  const ConverterProtocol code =
      ascii ? ConverterProtocol::kModbusAscii : ConverterProtocol::kModbusRtu;
  if (!WriteIntParam("PrOt", ToValue(code))) return false;
  return SendApply();
}

bool ConverterDevice::RestoreConverterProtocol(bool skip_wake) {
  if (!skip_wake) WakeUp(*this);
  switch (ProtocolOf(Rs485Set().proto).value_or(Protocol::kRavik)) {
    case Protocol::kModbusRtu:
      return SetConverterProtocol(false);
    case Protocol::kModbusAscii:
      return SetConverterProtocol(true);
    case Protocol::kRavik:
      break;
  }
  return true;  // RAVIK (or a value naming no protocol): the converter already speaks it
}

bool ConverterDevice::ModbusWriteCoil(bool ascii, int coil, int on) {
  // The line parameters of the last RAVIK request stay in force.
  modbus_request& request = *modbusRequest;
  if (request.set_function(5) != modbus_request::ok) return false;
  if (request.set_range(static_cast<uint16_t>(coil), on ? 1 : 0) != modbus_request::ok)
    return false;
  request.set_unit(LinkSet().address);
  std::vector<uint8_t> answer;
  if (!ModbusExchange(*this, ascii, kCoilAttempts, answer)) return false;
  return request.check_answer(answer, -1) == modbus_request::ok;
}

bool ConverterDevice::ModbusReadRegister(bool ascii, int reg, int& value, int* exception) {
  if (exception) *exception = 0;
  modbus_request& request = *modbusRequest;
  if (request.set_function(3) != modbus_request::ok) return false;
  if (request.set_range(static_cast<uint16_t>(reg), 2) != modbus_request::ok) return false;
  request.set_unit(LinkSet().address);
  std::vector<uint8_t> answer;
  if (!ModbusExchange(*this, ascii, kRegisterAttempts, answer)) return false;
  const int result = request.check_answer(answer, -1);
  if (result <= modbus_request::exception_base) {
    if (exception) *exception = modbus_request::exception_base - result;
    return false;
  }
  if (result != modbus_request::ok || answer.size() <= 4) return false;
  // The first of the two registers, high byte first.
  value = (answer[3] << 8) | answer[4];
  return true;
}
