// The line test without a window: identifies the converter, reads the loop
// instrument's settings and dumps the converter's holding registers into the
// protocol, through hooks that the test page and the console tool provide. Runs on
// the calling thread; texts are program text (Windows-1251).
#pragma once

#include <string>

class ConverterDevice;

class LineTestHooks {
 public:
  virtual ~LineTestHooks() = default;
  // A piece of the protocol, whole lines ending in CR LF.
  virtual void Append(const std::string& text) = 0;
  // The register being read ("Считывание ячейки: 1F"); an empty text when done.
  virtual void Status(const std::string& text) = 0;
  // Asked between the steps: true ends the test early.
  virtual bool StopRequested() = 0;
  // Whether the port is there to be opened: by default one of the computer's
  // COM ports.
  virtual bool PortPresent(const std::string& port);
};

// How far the test came.
enum class LineTestOutcome {
  kDone,          // the register dump ran to its end
  kNoPort,        // no port, or not one of the computer's
  kOpenFailed,    // the port could not be opened
  kNoLink,        // the converter did not answer
  kNotKV4T,       // another device answered
  kLoopFailed,    // the loop instrument's settings could not be read
  kModbusFailed,  // the converter refused Modbus RTU
  kStopped,       // stopped on request
};

// The whole test: the start line, the steps, the converter returned to its own
// protocol when it was switched, the port closed, the end line ("Тестирование
// прервано" when stopped); the link set as it was before.
LineTestOutcome RunLineTest(ConverterDevice& device, LineTestHooks& hooks);
