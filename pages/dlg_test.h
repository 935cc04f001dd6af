// The line-test page, tab "Тест": identifies the converter, reads the loop
// instrument's settings and dumps the converter's holding registers into a
// readable protocol, on a worker thread that the user can stop.
//
// Threads: the window thread runs the start and the stop (the button) and waits
// for the worker; the worker runs the test and reaches the controls and the sheet
// only through the control layer, whose binding hands such calls to the window
// thread. The worker alone touches the device and the protocol while a test runs;
// the sheet is busy meanwhile, so nothing else can start a device operation.
#pragma once

#include <atomic>
#include <string>

#include "pages/dlg_page.h"

struct worker_thread;

class CDlgTest : public CDlgPage {
 public:
  CDlgTest();
  // Stops a running test and waits for its worker (see StopAndWait).
  ~CDlgTest() override;

  std::span<const ControlSpec> Controls() const override;
  bool OnInitDialog() override;
  void OnControl(int id, ControlEvent event) override;
  // Save marks the page clean; load re-announces its state. The page edits no
  // record.
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;

  // Asks a running test to stop and waits until its worker has ended; returns at
  // once when no worker exists. Called on the window thread, for instance when the
  // sheet closes, before the device goes away.
  void StopAndWait();
  // Waits until the worker, if any, has ended, without asking it to stop.
  void WaitForWorker();

  std::atomic<bool> running{false};        // a test worker exists
  std::atomic<bool> stopRequested{false};  // the user asked the running test to stop

 private:
  static void WorkerMain(void* page);
  void StartOrStop();
  void RunTest();
  // Steps from the port check to the register scan; true when the converter has
  // to be returned to its own protocol afterwards.
  bool Exchange(ConverterDevice& device);
  void ScanRegisters(ConverterDevice& device);
  template <typename... Args>
  void Append(const char* utf8_format, Args... args);
  // Appends program text to the protocol and shows the protocol.
  void AppendText(const std::string& text);
  void SetIdleButton();

  worker_thread* worker_ = nullptr;  // window thread only
  std::string protocol_;             // the worker's while a test runs
};
