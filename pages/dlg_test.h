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

#include "device/line_test.h"
#include "pages/dlg_page.h"

struct worker_thread;

class CDlgTest : public CDlgPage, private LineTestHooks {
 public:
  CDlgTest();
  // Stops a running test and waits for its worker (see StopAndWait).
  ~CDlgTest() override;

  std::span<const ControlDef> Controls() const override;
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
  // LineTestHooks, called on the worker: the protocol grows and is shown; the
  // status line shows the register being read.
  void Append(const std::string& text) override;
  void Status(const std::string& text) override;
  bool StopRequested() override;
  void SetIdleButton();

  worker_thread* worker_ = nullptr;  // window thread only
  std::string protocol_;             // the worker's while a test runs
};
