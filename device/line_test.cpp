#include "device/line_test.h"

#include "common/code_pages.h"
#include "device/converter_device.h"
#include "device/test_protocol.h"
#include "link/serio.h"

namespace {

// Protocol lines.
constexpr const char* kStarted = "Тестирование началось...\r\n";
constexpr const char* kNoPort = "ошибка: рабочий порт не выбран\r\n";
constexpr const char* kOpenFailed = "ошибка открытия порта \"%s\"\r\n";
constexpr const char* kOpened = "успешное открытие порта \"%s\"\r\n";
constexpr const char* kNoLink = "ошибка связи с прибором\r\n";
constexpr const char* kNotKV4T = "подключенный прибор не является KV4T (%s)\r\n";
constexpr const char* kFound = "по адресу %u подключен KV4T (%s)\r\n";
constexpr const char* kLoopReadFailed = "ошибка чтения конфигурации прибора\r\n";
constexpr const char* kLoopLine = "параметры соединения по токовой петле: %s\r\n";
constexpr const char* kLoopInstrument = "подключенный прибор: %s (%s)\r\n";
constexpr const char* kModbusFailed = "ошибка переключения в протокол ModBus-RTU\r\n";
constexpr const char* kStopped = "Тестирование прервано\r\n";
constexpr const char* kFinished = "Тестирование завершено\r\n";
constexpr const char* kReading = "Считывание ячейки: %02X";

constexpr int kRegisters = 256;

class LineTest {
 public:
  LineTest(ConverterDevice& device, LineTestHooks& hooks) : device_(device), hooks_(hooks) {}

  template <typename... Args>
  void Append(const char* utf8_format, Args... args) {
    hooks_.Append(FormatProtocolLine(Utf8ToCp1251(utf8_format), args...));
  }

  // Steps from the port check to the register scan; true when the converter has
  // to be returned to its own protocol afterwards.
  bool Exchange() {
    const PortSettings& link = device_.LinkSet();
    if (link.port.empty() || !hooks_.PortPresent(link.port)) {
      Append(kNoPort);
      outcome = LineTestOutcome::kNoPort;
      return false;
    }
    if (!device_.OpenPort()) {
      Append(kOpenFailed, link.port.c_str());
      outcome = LineTestOutcome::kOpenFailed;
      return false;
    }
    Append(kOpened, link.port.c_str());
    if (hooks_.StopRequested()) return false;

    if (!device_.Identify()) {
      Append(kNoLink);
      outcome = LineTestOutcome::kNoLink;
      return false;
    }
    if (hooks_.StopRequested()) return false;
    // Not our converter: its protocol is none of our business.
    if (!device_.IsKS4T()) {
      Append(kNotKV4T, link.devtype.c_str());
      outcome = LineTestOutcome::kNotKV4T;
      return false;
    }
    Append(kFound, static_cast<unsigned>(link.address), link.fwver.c_str());
    if (hooks_.StopRequested()) return true;

    PortSettings loop;
    if (!device_.ReadLoopSettings(&loop)) {
      Append(kLoopReadFailed);
      outcome = LineTestOutcome::kLoopFailed;
      return true;
    }
    Append(kLoopLine, DescribePortSettings(loop).c_str());
    Append(kLoopInstrument, loop.devtype.c_str(), loop.fwver.c_str());
    if (hooks_.StopRequested()) return true;

    if (!device_.SetConverterProtocol(false)) {
      Append(kModbusFailed);
      outcome = LineTestOutcome::kModbusFailed;
      return true;
    }
    if (hooks_.StopRequested()) return true;
    ScanRegisters();
    return true;
  }

  void ScanRegisters() {
    RegisterDump dump;
    const std::string reading = Utf8ToCp1251(kReading);
    for (int reg = 0; reg < kRegisters; ++reg) {
      hooks_.Status(FormatProtocolLine(reading, reg));
      // A stopped scan ends without a summary: its run may not be the last one.
      if (hooks_.StopRequested()) return;
      int value = 0;
      const bool read = device_.ModbusReadRegister(false, reg, value, nullptr);
      const std::string row = dump.Add(reg, read, value);
      if (!row.empty()) hooks_.Append(row);
    }
    hooks_.Status({});
    const std::string summary = dump.Summary();
    if (!summary.empty()) hooks_.Append(summary);
  }

  LineTestOutcome outcome = LineTestOutcome::kDone;

 private:
  ConverterDevice& device_;
  LineTestHooks& hooks_;
};

}  // namespace

bool LineTestHooks::PortPresent(const std::string& port) {
  return serial_port_present(Cp1251ToWide(port));
}

LineTestOutcome RunLineTest(ConverterDevice& device, LineTestHooks& hooks) {
  const PortSettings kept = device.LinkSet();
  LineTest test(device, hooks);
  test.Append(kStarted);
  if (test.Exchange()) device.RestoreConverterProtocol(false);
  device.ClosePort();
  const bool stopped = hooks.StopRequested();
  test.Append(stopped ? kStopped : kFinished);
  device.LinkSet() = kept;
  return stopped ? LineTestOutcome::kStopped : test.outcome;
}
