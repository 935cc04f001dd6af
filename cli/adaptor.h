// The serial adaptor behind a port, as the system describes it. A USB adaptor
// hands the bytes it receives to the computer in bursts (an FTDI chip holds them
// up to its latency timer, 16 ms unless set otherwise), so every answer may come
// that much later; and a write to it returns before the last byte is on the
// wire. On Linux the identity and the FTDI latency timer come from sysfs and the
// driver can be asked for low-latency mode for the run; on Windows nothing is
// known of the adaptor. One implementation per platform (adaptor_posix.cpp,
// adaptor_win32.cpp), the rules and texts in adaptor.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct AdaptorInfo {
  // The kernel's name of the tty ("ttyUSB0"); empty when the system knows none.
  std::string tty;
  bool usb = false;
  std::string driver;                 // "ftdi_sio", "cp210x", "ch341", "cdc_acm", ...
  std::string vendor_id, product_id;  // four hexadecimal digits each
  std::string manufacturer, product, serial;
  std::vector<std::string> by_id;     // the port's names in /dev/serial/by-id
  int latency_timer_ms = -1;          // the FTDI latency timer; -1 unknown
  bool ftdi() const { return driver == "ftdi_sio"; }
};

// The folder the system's tables are read under: $KV4T_SYS_ROOT, else "/"
// (sys/class/tty and dev/serial/by-id below it), so that a test can lay out a
// system of its own.
std::string AdaptorRoot();
// The adaptor behind device_path: the path and each name its symbolic links lead
// to, in turn, until one is a tty that root's sys/class/tty knows. Nothing known
// (tty empty) for a pseudo-terminal or on Windows.
AdaptorInfo DescribeAdaptor(const std::string& device_path, const std::string& root);
AdaptorInfo DescribeAdaptor(const std::string& device_path);

// How late the adaptor may hand over a byte, and whence the scan knows it.
struct AdaptorLatency {
  int ms = 0;
  std::string source;  // for the user: "таймер задержки FTDI (sysfs)", "--latency", ...
};
// The FTDI latency timer when sysfs tells it; else the --latency option when
// given; else 16 ms for a USB adaptor (an FTDI chip's default, and the scan's
// assumption for a USB adaptor of unknown kind); else none.
AdaptorLatency LatencyOf(const AdaptorInfo& adaptor, std::optional<int> given_ms);

// One line of the adaptor's identity for the port listing; empty when nothing is
// known.
std::string AdaptorLine(const AdaptorInfo& adaptor);
// The hints for the user about this adaptor: the latency timer above 1 ms, and
// the transmit side of every USB adaptor.
std::vector<std::string> AdaptorHints(const AdaptorInfo& adaptor);

// Low-latency mode for the run: asks the driver of the port at device_path for it
// (on Linux ASYNC_LOW_LATENCY through TIOCSSERIAL, and the FTDI latency timer set
// to 1 ms where sysfs lets this user write it). The texts say what came of it,
// plainly when the system refused. While a session runs a second Begin does
// nothing (empty text); EndLowLatency puts back what Begin changed (empty text
// when nothing was begun) and says plainly when a setting stays.
std::string BeginLowLatency(const std::string& device_path);
std::string EndLowLatency();
