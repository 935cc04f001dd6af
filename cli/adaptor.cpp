#include "cli/adaptor.h"

#include "common/text_format.h"

namespace {

// An FTDI chip's latency timer as it leaves the factory, and what the scan
// assumes of a USB adaptor it knows nothing more of.
constexpr int kUsbLatencyMs = 16;

}  // namespace

AdaptorLatency LatencyOf(const AdaptorInfo& adaptor, std::optional<int> given_ms) {
  if (adaptor.ftdi() && adaptor.latency_timer_ms >= 0)
    return {adaptor.latency_timer_ms,
            Format("таймер задержки FTDI %s (sysfs)", adaptor.tty.c_str())};
  if (given_ms) return {*given_ms, "--latency"};
  if (adaptor.usb)
    return {kUsbLatencyMs,
            Format("USB-адаптер %s (%s): принято %d мс", adaptor.tty.c_str(),
                   adaptor.driver.empty() ? "драйвер неизвестен" : adaptor.driver.c_str(),
                   kUsbLatencyMs)};
  if (adaptor.tty.empty()) return {0, "система не сообщает об адаптере"};
  return {0, "не USB-адаптер"};
}

std::string AdaptorLine(const AdaptorInfo& a) {
  if (!a.usb) return {};
  std::string line = "USB:";
  const std::string name = a.manufacturer + (a.manufacturer.empty() || a.product.empty() ? "" : " ") + a.product;
  if (!name.empty()) line += " " + name;
  if (!a.vendor_id.empty()) line += " (" + a.vendor_id + ":" + a.product_id + ")";
  if (!a.driver.empty()) line += ", драйвер " + a.driver;
  if (!a.serial.empty()) line += ", серийный номер " + a.serial;
  for (const std::string& name_by_id : a.by_id) line += ", /dev/serial/by-id/" + name_by_id;
  if (a.latency_timer_ms >= 0) line += Format(", таймер задержки %d мс", a.latency_timer_ms);
  return line;
}

std::vector<std::string> AdaptorHints(const AdaptorInfo& a) {
  std::vector<std::string> hints;
  if (!a.usb) return hints;
  if (a.latency_timer_ms > 1)
    hints.push_back(Format(
        "таймер задержки %d мс: адаптер отдаёт принятые байты компьютеру пачками, и каждый ответ "
        "приходит до %d мс позже; kv4t scan это учитывает, kv4t --low-latency ставит 1 мс на "
        "время работы, насовсем: echo 1 > /sys/bus/usb-serial/devices/%s/latency_timer (root) или "
        "правило udev",
        a.latency_timer_ms, a.latency_timer_ms, a.tty.c_str()));
  hints.push_back(
      "передача через USB: запись в порт завершается раньше, чем последний байт ушёл в линию, "
      "поэтому адаптер RS-485 с переключением по RTS (--adaptor rts) может снять RTS до конца "
      "запроса, и преобразователь не дослышит его; надёжнее адаптер с автоматическим "
      "переключением передачи");
  return hints;
}
