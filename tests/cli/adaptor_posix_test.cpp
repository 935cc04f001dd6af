// The adaptor as sysfs describes it, read from a system laid out in a temporary
// folder (tests/cli/fake_system.h); the latency the scan takes from it; the
// low-latency mode asked of a pseudo-terminal behind a fake FTDI tty, and put back.
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
#include "tests/cli/fake_system.h"
#include "tests/cli/kv4t_runner.h"

namespace {

namespace fs = std::filesystem;

using namespace fake_system;

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
  fs::path Timer() const { return sys.Timer(1, "ttyUSB0"); }
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
