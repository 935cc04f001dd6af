// A system laid out in a temporary folder as the kernel and udev lay it out
// (class links, the USB device above the tty, the driver's link, the FTDI latency
// timer, /dev/serial/by-id), for kv4t to read through $KV4T_SYS_ROOT.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fake_system {

namespace fs = std::filesystem;

struct UsbFake {
  std::string tty, driver, vendor, product_id, manufacturer, product, serial;
  int latency = -1;  // latency_timer; -1: none
};

// A root folder with sys/ and dev/ as the kernel and udev make them.
class FakeSystem {
 public:
  FakeSystem() {
    static int count = 0;
    root = fs::temp_directory_path() /
           ("kv4t-sys-" + std::to_string(getpid()) + "-" + std::to_string(count++));
    fs::create_directories(root / "dev" / "serial" / "by-id");
  }
  ~FakeSystem() {
    std::error_code error;
    fs::remove_all(root, error);
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
  }
  // sys/class/tty/NAME/device leads to the tty's device folder (devices/...).
  void ClassLink(const std::string& tty, const std::string& device) {
    fs::create_directories(root / "sys/class/tty" / tty);
    Link(root / "sys/class/tty" / tty / "device", fs::path("../../..") / device);
  }

  // A USB serial adaptor on port n of the first bus: the USB device, its
  // interface and, for the usb-serial drivers, the port below the interface.
  void AddUsb(int n, const UsbFake& f, bool acm = false) {
    const std::string usb = "devices/pci0000:00/usb1/1-" + std::to_string(n);
    const fs::path device = root / "sys" / usb;
    Write(device / "idVendor", f.vendor);
    Write(device / "idProduct", f.product_id);
    if (!f.manufacturer.empty()) Write(device / "manufacturer", f.manufacturer);
    if (!f.product.empty()) Write(device / "product", f.product);
    if (!f.serial.empty()) Write(device / "serial", f.serial);
    const std::string iface = usb + "/1-" + std::to_string(n) + ":1.0";
    const std::string port = acm ? iface : iface + "/" + f.tty;
    fs::create_directories(root / "sys" / port);
    const std::string bus = acm ? "usb" : "usb-serial";
    fs::create_directories(root / "sys/bus" / bus / "drivers" / f.driver);
    Link(root / "sys" / port / "driver", root / "sys/bus" / bus / "drivers" / f.driver);
    if (f.latency >= 0) Write(root / "sys" / port / "latency_timer", std::to_string(f.latency));
    ClassLink(f.tty, port);
  }
  void AddNative(const std::string& tty) {
    const std::string port = "devices/platform/serial8250/" + tty;
    fs::create_directories(root / "sys" / port);
    Link(root / "sys" / port / "driver", root / "sys/bus/platform/drivers/serial8250");
    ClassLink(tty, port);
  }
  // As udev names them: a link relative to its folder.
  void ById(const std::string& name, const std::string& tty) {
    Link(root / "dev/serial/by-id" / name, fs::path("../..") / tty);
  }

  // The latency timer of the adaptor AddUsb put at port n.
  fs::path Timer(int n, const std::string& tty) const {
    const std::string port = "1-" + std::to_string(n);
    return root / "sys/devices/pci0000:00/usb1" / port / (port + ":1.0") / tty / "latency_timer";
  }

  fs::path root;
};

inline const UsbFake kFtdi = {"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                       "A10K1234", 16};
inline const UsbFake kCh341 = {"ttyUSB1", "ch341", "1a86", "7523", "", "USB Serial", "", -1};
inline const UsbFake kAcm = {"ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno", "7543331", -1};
inline const char kFtdiById[] = "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";

}  // namespace fake_system
