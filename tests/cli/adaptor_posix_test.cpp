// The adaptor as sysfs describes it, read from a system laid out in a temporary
// folder as the kernel lays it out (class links, the USB device above the tty,
// the driver's link, the FTDI latency timer, /dev/serial/by-id); the latency the
// scan takes from it; the low-latency mode asked of a pseudo-terminal behind a
// fake FTDI tty, and put back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cli/adaptor.h"
#include "tests/cli/kv4t_runner.h"

namespace {

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

  fs::path root;
};

const UsbFake kFtdi = {"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                       "A10K1234", 16};
const UsbFake kCh341 = {"ttyUSB1", "ch341", "1a86", "7523", "", "USB Serial", "", -1};
const UsbFake kAcm = {"ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno", "7543331", -1};
const char kFtdiById[] = "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";

TEST(Adaptor, DescribedFromSysfs) {
  FakeSystem sys;
  sys.AddUsb(1, kFtdi);
  sys.AddUsb(2, kCh341);
  sys.AddUsb(3, kAcm, true);
  sys.AddNative("ttyS0");
  sys.ById(kFtdiById, "ttyUSB0");
  // A port of the ports folder, led to the node through links.
  sys.Link(sys.root / "ports" / "com40", sys.root / "dev" / "ttyUSB0");
  const std::string root = sys.root.string();

  struct Case {
    const char* name;
    std::string path;
    std::string tty, driver, vendor, serial;
    bool usb;
    int latency;
    std::vector<std::string> by_id;
  };
  const Case cases[] = {
      {"device node", "/dev/ttyUSB0", "ttyUSB0", "ftdi_sio", "0403", "A10K1234", true, 16, {kFtdiById}},
      {"by-id name", root + "/dev/serial/by-id/" + kFtdiById, "ttyUSB0", "ftdi_sio", "0403",
       "A10K1234", true, 16, {kFtdiById}},
      {"ports folder", root + "/ports/com40", "ttyUSB0", "ftdi_sio", "0403", "A10K1234", true, 16,
       {kFtdiById}},
      {"CH341 without a timer", "/dev/ttyUSB1", "ttyUSB1", "ch341", "1a86", "", true, -1, {}},
      {"CDC ACM", "/dev/ttyACM0", "ttyACM0", "cdc_acm", "2341", "7543331", true, -1, {}},
      {"native UART", "/dev/ttyS0", "ttyS0", "serial8250", "", "", false, -1, {}},
      {"pseudo-terminal", "/dev/pts/5", "", "", "", "", false, -1, {}},
      {"no such port", "/dev/ttyUSB9", "", "", "", "", false, -1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AdaptorInfo a = DescribeAdaptor(c.path, root);
    EXPECT_EQ(a.tty, c.tty);
    EXPECT_EQ(a.driver, c.driver);
    EXPECT_EQ(a.vendor_id, c.vendor);
    EXPECT_EQ(a.serial, c.serial);
    EXPECT_EQ(a.usb, c.usb);
    EXPECT_EQ(a.latency_timer_ms, c.latency);
    EXPECT_EQ(a.by_id, c.by_id);
  }
  const AdaptorInfo ftdi = DescribeAdaptor("/dev/ttyUSB0", root);
  EXPECT_EQ(ftdi.product_id, "6001");
  EXPECT_EQ(ftdi.manufacturer, "FTDI");
  EXPECT_EQ(ftdi.product, "FT232R USB UART");
  EXPECT_EQ(AdaptorLine(ftdi),
            std::string("USB: FTDI FT232R USB UART (0403:6001), драйвер ftdi_sio, серийный номер "
                        "A10K1234, /dev/serial/by-id/") +
                kFtdiById + ", таймер задержки 16 мс");
  EXPECT_TRUE(AdaptorLine(DescribeAdaptor("/dev/ttyS0", root)).empty());
}

// sysfs tells the FTDI timer; else the option; else 16 ms for any USB adaptor.
TEST(Adaptor, LatencyTheScanTakes) {
  FakeSystem sys;
  UsbFake quick = kFtdi;
  quick.latency = 1;
  sys.AddUsb(1, quick);
  sys.AddUsb(2, kCh341);
  sys.AddNative("ttyS0");
  const std::string root = sys.root.string();
  struct Case {
    const char* path;
    std::optional<int> given;
    int ms;
    const char* source;  // part of the source's text
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", 16, 1, "sysfs"},    {"/dev/ttyUSB0", std::nullopt, 1, "sysfs"},
      {"/dev/ttyUSB1", 8, 8, "--latency"}, {"/dev/ttyUSB1", std::nullopt, 16, "USB-адаптер ttyUSB1 (ch341)"},
      {"/dev/ttyS0", std::nullopt, 0, "не USB"}, {"/dev/ttyS0", 5, 5, "--latency"},
      {"/dev/pts/3", std::nullopt, 0, "не сообщает"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const AdaptorLatency l = LatencyOf(DescribeAdaptor(c.path, root), c.given);
    EXPECT_EQ(l.ms, c.ms);
    EXPECT_NE(l.source.find(c.source), std::string::npos) << l.source;
  }
}

TEST(Adaptor, HintsForTheLatencyTimerAndTheTransmitSide) {
  FakeSystem sys;
  UsbFake quick = kFtdi;
  quick.tty = "ttyUSB2";
  quick.latency = 1;
  sys.AddUsb(1, kFtdi);
  sys.AddUsb(2, quick);
  sys.AddNative("ttyS0");
  const std::string root = sys.root.string();
  const std::vector<std::string> slow = AdaptorHints(DescribeAdaptor("/dev/ttyUSB0", root));
  ASSERT_EQ(slow.size(), 2u);
  EXPECT_NE(slow[0].find("таймер задержки 16 мс"), std::string::npos) << slow[0];
  EXPECT_NE(slow[0].find("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"), std::string::npos);
  EXPECT_NE(slow[1].find("снять RTS до конца"), std::string::npos) << slow[1];
  const std::vector<std::string> fast = AdaptorHints(DescribeAdaptor("/dev/ttyUSB2", root));
  ASSERT_EQ(fast.size(), 1u);
  EXPECT_EQ(fast[0], slow[1]);
  EXPECT_TRUE(AdaptorHints(DescribeAdaptor("/dev/ttyS0", root)).empty());
}

// A pseudo-terminal whose path is the fake FTDI tty's node: the serial ioctls are
// refused (a pseudo-terminal knows none), the latency timer is written and put
// back; a timer that can no longer be written is said to stay.
class LowLatency : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    sys.AddUsb(1, kFtdi);
    sys.Link(sys.root / "dev" / "ttyUSB0", ptsname(master));
    setenv("KV4T_SYS_ROOT", sys.root.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KV4T_SYS_ROOT");
    if (master >= 0) close(master);
  }
  fs::path Timer() const {
    return sys.root / "sys/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer";
  }
  std::string TimerText() const { return ReadText(Timer()); }

  FakeSystem sys;
  int master = -1;
};

TEST_F(LowLatency, TimerSetForTheRunAndPutBack) {
  const std::string node = (sys.root / "dev" / "ttyUSB0").string();
  const std::string begun = BeginLowLatency(node);
  EXPECT_NE(begun.find("таймер задержки 1 мс (было 16)"), std::string::npos) << begun;
  EXPECT_NE(begun.find("система отказала в остальном (TIOCGSERIAL"), std::string::npos) << begun;
  EXPECT_EQ(TimerText(), "1\n");
  EXPECT_EQ(BeginLowLatency(node), "");  // one session at a time
  const std::string ended = EndLowLatency();
  EXPECT_NE(ended.find("восстановлены"), std::string::npos) << ended;
  EXPECT_EQ(TimerText(), "16\n");
  EXPECT_EQ(EndLowLatency(), "");
}

TEST_F(LowLatency, SaysPlainlyWhatStays) {
  const std::string node = (sys.root / "dev" / "ttyUSB0").string();
  BeginLowLatency(node);
  // The attribute is gone (the adaptor unplugged and another in its place).
  fs::remove(Timer());
  fs::create_directory(Timer());
  const std::string ended = EndLowLatency();
  EXPECT_NE(ended.find("таймер задержки не восстановлен"), std::string::npos) << ended;
  EXPECT_NE(ended.find("было 16"), std::string::npos) << ended;
}

TEST_F(LowLatency, RefusedByAPortWithoutSerialDriver) {
  const std::string begun = BeginLowLatency(ptsname(master));
  EXPECT_EQ(begun.rfind("система отказала в режиме малой задержки (TIOCGSERIAL: ", 0), 0u) << begun;
  // Nothing was changed: nothing to put back.
  EXPECT_EQ(EndLowLatency(), "");
}

}  // namespace
