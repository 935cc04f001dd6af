// The device operations of ConverterDevice: everything the configurator says to
// the converter goes through here. Requests are RAVIK frames addressed with the
// link set (the converter as it answers now); the RS-485 set describes what it is
// to become once "APLY" has been sent.
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "device/address_range.h"
#include "device/code_tables.h"
#include "device/device_texts.h"
#include "device/notices.h"
#include "link/ravik.h"
#include "link/modbus.h"
#include "link/serio.h"
#include "store/catalogue.h"
#include "store/codepage.h"
#include "store/converter_device.h"

namespace {

// Every RAVIK request but "APLY" is tried this often before the operation fails.
constexpr int kRavikAttempts = 4;
constexpr int kCoilAttempts = 4;
constexpr int kRegisterAttempts = 2;
// Quiet time the converter gets between the end of an answer and the next request.
constexpr int kTurnaroundUs = 10000;
// A converter set to Modbus acknowledges this coil and then answers RAVIK again.
constexpr int kWakeCoil = 0xF0F0;
// When neither framing of the wake-up is acknowledged, the converter gets this
// long before the next RAVIK request.
constexpr auto kWakePause = std::chrono::milliseconds(1000);
constexpr std::size_t kMaxTextChars = 8;
constexpr const char* kApplyName = "APLY";

using ParamEntry = ConverterDevice::ParamEntry;

ParamEntry Row(const char* name, int kind, int table, void* target) {
  return ParamEntry{name, kind, table, target};
}
ParamEntry Raw(const char* name, int32_t* target) {
  return Row(name, ConverterDevice::kRaw, 0, target);
}
ParamEntry Coded(const char* name, int table, int32_t* target) {
  return Row(name, ConverterDevice::kCoded, table, target);
}
ParamEntry Text(const char* name, std::string* target) {
  return Row(name, ConverterDevice::kText, 0, target);
}
ParamEntry End() { return Row("", ConverterDevice::kRaw, 0, nullptr); }

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
bool RavikExchange(ConverterDevice& device, const char* name, std::vector<uint8_t> data,
                   bool is_read, bool expect_answer, int attempts,
                   std::vector<uint8_t>& answer) {
  const PortSettings& link = device.LinkSet();
  if (!ravik_make_request(data, is_read, link.alen == 11, link.address, ravik_hash(name, nullptr)))
    return false;
  device.channel->codec = device.ravik.get();
  device.channel->answer_override = 0;
  PrepareChannel(device);
  for (int attempt = 0; attempt < attempts; ++attempt)
    if (device.channel->transact(data, answer, expect_answer)) return true;
  return false;
}

// A read answer: the header's request flag must be clear (a request echoed back
// or another master's request is not an answer). The data field follows the
// 4-byte header.
bool IsAnswer(const std::vector<uint8_t>& answer) {
  return answer.size() >= ravik_header_bytes && (answer[1] & ravik_request_flag) == 0;
}

bool ReadAnswer(ConverterDevice& device, const char* name, std::vector<uint8_t>& data) {
  std::vector<uint8_t> answer;
  if (!RavikExchange(device, name, {}, true, true, kRavikAttempts, answer)) return false;
  if (!IsAnswer(answer)) return false;
  data.assign(answer.begin() + ravik_header_bytes, answer.end());
  return true;
}

bool WriteData(ConverterDevice& device, const char* name, std::vector<uint8_t> data) {
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
  device.channel->codec = ascii ? static_cast<frame_codec*>(device.modbusAscii.get())
                                : static_cast<frame_codec*>(device.modbusRtu.get());
  device.channel->answer_override = 0;
  std::vector<uint8_t> request;
  if (device.modbusRequest->build(request, -1) != modbus_request::ok) return false;
  for (int attempt = 0; attempt < attempts; ++attempt)
    if (device.channel->transact(request, answer, true)) return true;
  return false;
}

std::string ProgramText(const char* utf8) { return Utf8ToCp1251(utf8); }

}  // namespace

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

bool ConverterDevice::Connect(void* owner, bool show_messages, std::string* error_text) {
  std::string text;
  if (!OpenPort()) {
    text = ProgramText(device_text::kCannotUsePort) + " \"" + LinkSet().port + "\".";
  } else if (!Identify()) {
    ClosePort();
    text = ProgramText(device_text::kNoLink);
  } else if (IsKS4T()) {
    return true;
  } else {
    ClosePort();
    text = ProgramText(device_text::kNotKV4T);
  }
  if (show_messages)
    ShowDeviceError(owner, text, ProgramText(device_text::kErrorCaption));
  else if (error_text)
    *error_text = text;
  return false;
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

bool ConverterDevice::IsKS4T() const { return workingSettings[kLink].devtype == "KS4T"; }

bool ConverterDevice::ReadIntParam(const char* name, int32_t& value) {
  std::vector<uint8_t> data;
  if (!ReadAnswer(*this, name, data)) return false;
  // Big-endian, as many bytes as the converter sent. Accumulated without sign so
  // that an over-long answer wraps instead of overflowing.
  uint32_t v = 0;
  for (uint8_t byte : data) v = v * 256u + byte;
  value = static_cast<int32_t>(v);
  return true;
}

bool ConverterDevice::ReadTextParam(const char* name, std::string& value) {
  value.clear();
  std::vector<uint8_t> data;
  if (!ReadAnswer(*this, name, data)) return false;
  // The converter sends a text last character first.
  value.assign(data.rbegin(), data.rend());
  return true;
}

bool ConverterDevice::WriteIntParam(const char* name, int32_t value) {
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

bool ConverterDevice::WriteTextParam(const char* name, const std::string& value) {
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
  for (const ParamEntry* row = list; row && row->name && row->name[0]; ++row) {
    if (!row->target) {
      ok = false;
      continue;
    }
    switch (row->kind) {
      case kRaw:
      case kCoded: {
        int32_t& target = *static_cast<int32_t*>(row->target);
        if (write) {
          const int32_t value =
              row->kind == kCoded ? TranslateCode(true, row->table, target) : target;
          if (!WriteIntParam(row->name, value)) ok = false;
          break;
        }
        int32_t value = 0;
        if (!ReadIntParam(row->name, value)) {
          ok = false;
          break;
        }
        if (row->kind == kCoded) {
          // A code the table does not know would put -1 into the settings; the row
          // fails instead and its setting keeps its value.
          value = TranslateCode(false, row->table, value);
          if (value < 0) {
            ok = false;
            break;
          }
        }
        target = value;
        break;
      }
      case kText: {
        std::string& target = *static_cast<std::string*>(row->target);
        if (write) {
          if (!WriteTextParam(row->name, target)) ok = false;
          break;
        }
        std::string text;
        if (ReadTextParam(row->name, text))
          target = text;
        else
          ok = false;
        break;
      }
      default:
        ok = false;
        break;
    }
  }
  return ok;
}

bool ConverterDevice::WriteRs485Settings(void* page) {
  PortSettings& rs = Rs485Set();
  const int32_t requested = rs.address;
  int32_t address = CorrectNetworkAddress(requested, rs.alen);
  if (address != requested) {
    // Shown even in the silent state: the user must learn that another address
    // than the one entered is being written.
    char text[512];
    std::snprintf(text, sizeof text, ProgramText(device_text::kAddressOutOfRange).c_str(),
                  static_cast<int>(requested), static_cast<int>(address));
    UserNotices& notices = Notices();
    notices.ShowMessage(notices.MainWindow(), text, ProgramText(device_text::kAddressCaption),
                        kNoticeIconError);
    rs.address = address;
    notices.SetControlInt(page, device_text::kRs485AddressControl, address);
    notices.FocusControl(page, device_text::kRs485DelayControl);
  }

  const ParamEntry rows[] = {
      Coded("BPS", kTableRs485Baud, &rs.baud),
      Coded("Len", kTableByteSize, &rs.bytesize),
      Coded("PrtY", kTableParity, &rs.parity),
      Coded("Sbit", kTableStopBits, &rs.stopbits),
      Raw("rs.dl", &rs.delay),
      Coded("A.Len", kTableAddrLen, &rs.alen),
      Raw("addr", &address),
      Coded("PrOt", kTableProtocol, &rs.proto),
      End(),
  };
  // A failed row leaves the rows before it written in the converter, but without
  // "APLY" none of them takes effect.
  if (!ExchangeParams(rows, true)) return false;
  if (!SendApply()) return false;

  // From now on the converter answers at its new settings.
  PortSettings& link = LinkSet();
  link.baud = rs.baud;
  link.bytesize = rs.bytesize;
  link.parity = rs.parity;
  link.stopbits = rs.stopbits;
  link.address = rs.address;
  link.alen = rs.alen;
  link.delay = rs.delay;
  link.changed = true;
  storedSettings[kStoredLink] = link;
  storedSettings[kStoredRs485] = rs;
  return true;
}

bool ConverterDevice::WriteLoopSettings() {
  PortSettings& loop = LoopSet();
  const ParamEntry rows[] = {
      Text("dEv.L", &loop.devtype),
      Text("vEr.L", &loop.fwver),
      Coded("BP.L", kTableLoopBaud, &loop.baud),
      Coded("LE.L", kTableByteSize, &loop.bytesize),
      Coded("Pr.L", kTableParity, &loop.parity),
      Coded("Sb.L", kTableStopBits, &loop.stopbits),
      Raw("FrEq", &loop.delay),
      End(),
  };
  if (!ExchangeParams(rows, true)) return false;
  storedSettings[kStoredLoop] = loop;
  return true;
}

bool ConverterDevice::ReadLoopSettings(PortSettings* target) {
  const bool own = target == nullptr;
  PortSettings& record = own ? LoopSet() : *target;

  std::string devtype;
  std::string fwver;
  const ParamEntry names[] = {Text("dEv.L", &devtype), Text("vEr.L", &fwver), End()};
  if (!ExchangeParams(names, false)) return false;

  if (!own || HasDescription(devtype, fwver)) {
    const ParamEntry rows[] = {
        Coded("BP.L", kTableLoopBaud, &record.baud),
        Coded("LE.L", kTableByteSize, &record.bytesize),
        Coded("Pr.L", kTableParity, &record.parity),
        Coded("Sb.L", kTableStopBits, &record.stopbits),
        Raw("FrEq", &record.delay),
        End(),
    };
    if (!ExchangeParams(rows, false)) return false;
    record.devtype = devtype;
    record.fwver = fwver;
  } else {
    // An instrument the catalogue does not describe: the loop set starts over from
    // the first catalogue entry; the converter's other loop values are not read.
    ResetLoopDefaults();
  }
  record.changed = true;
  storedSettings[kStoredLoop] = record;
  return true;
}

bool ConverterDevice::SetConverterProtocol(bool ascii) {
  // The converter's own codes: 1 Modbus RTU, 2 Modbus ASCII.
  if (!WriteIntParam("PrOt", ascii ? 2 : 1)) return false;
  return SendApply();
}

bool ConverterDevice::RestoreConverterProtocol(bool skip_wake) {
  if (!skip_wake) WakeUp(*this);
  switch (Rs485Set().proto) {
    case 2:
      return SetConverterProtocol(false);
    case 1:
      return SetConverterProtocol(true);
    default:
      return true;  // RAVIK: the converter already speaks it
  }
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
