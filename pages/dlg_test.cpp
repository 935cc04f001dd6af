#include "pages/dlg_test.h"

#include "common/code_pages.h"
#include "common/program_strings.h"
#include "common/resource_ids.h"
#include "device/converter_device.h"
#include "device/line_test.h"
#include "device/settings_rules.h"
#include "device/settings_texts.h"
#include "device/test_protocol.h"
#include "pages/line_controls.h"
#include "pages/worker_thread.h"

namespace {

constexpr ControlDef kControls[] = {
    {.id = IDC_TEST_BUTTON, .kind = ControlKind::button, .label = "Т&ест",
     .tooltip = IDS_TIP_TEST_START},
    {.id = IDC_TEST_LOG, .kind = ControlKind::log, .label = "Протокол:"},
    {.id = IDC_TEST_STATUS, .kind = ControlKind::status},
};

std::string Text(const char* utf8) { return Utf8ToCp1251(utf8); }

}  // namespace

CDlgTest::CDlgTest() : CDlgPage(IDD_TEST, IDS_TAB_TEST) {}

CDlgTest::~CDlgTest() { StopAndWait(); }

std::span<const ControlDef> CDlgTest::Controls() const { return kControls; }

bool CDlgTest::OnInitDialog() {
  CDlgPage::OnInitDialog();
  Ui().SetTooltip(IDC_TEST_BUTTON, IDS_TIP_TEST_START);
  return true;
}

void CDlgTest::OnControl(int id, ControlEvent event) {
  if (id == IDC_TEST_BUTTON && event == ControlEvent::clicked) StartOrStop();
}

void CDlgTest::ExchangeSettings(ConverterDevice*, bool save, bool) {
  if (save) {
    SetModified(false);
    return;
  }
  needsRefresh = false;
  AnnounceModified();
}

void CDlgTest::StopAndWait() {
  if (running) stopRequested = true;
  WaitForWorker();
}

void CDlgTest::WaitForWorker() {
  worker_join(worker_);
  worker_ = nullptr;
}

void CDlgTest::WorkerMain(void* page) { static_cast<CDlgTest*>(page)->RunTest(); }

void CDlgTest::StartOrStop() {
  ControlLayer& ui = Ui();
  ui.Enable(IDC_TEST_BUTTON, false);
  if (running) {
    // The worker sees it at its next stop check; the button stays disabled until
    // the worker has ended.
    stopRequested = true;
    return;
  }
  ConverterDevice* device = Device();
  if (!device) {
    ui.Enable(IDC_TEST_BUTTON, true);
    return;
  }
  // The test needs the converter's network side at 8 data bits.
  if (const auto finding = settings_rules::Check(settings_rules::Rule::kLineTestWordLength,
                                                 device->Rs485Set())) {
    line_controls::ShowFinding(ui, *finding);
    ui.ShowMessage(Text(settings_text::kLineTestMode), Text(settings_text::kLineTestModeCaption),
                   kNoticeIconError);
    ui.Enable(IDC_TEST_BUTTON, true);
    return;
  }
  // The previous test's worker has done its last control update and is ending.
  WaitForWorker();

  ui.SetText(IDC_TEST_BUTTON, ProgramText(IDS_TEST_STOP));
  ui.SetTooltip(IDC_TEST_BUTTON, IDS_TIP_TEST_STOP);
  stopRequested = false;
  running = true;
  ui.NotifySheet(WM_PAGE_BUSY);
  worker_ = worker_create_suspended(&CDlgTest::WorkerMain, this);
  if (!worker_) {
    running = false;
    SetIdleButton();
    ui.NotifySheet(WM_PAGE_IDLE);
    return;
  }
  // The worker has not started yet: the protocol is still the window thread's.
  protocol_.clear();
  ui.SetLogText(IDC_TEST_LOG, protocol_);
  worker_resume(worker_);
}

void CDlgTest::SetIdleButton() {
  ControlLayer& ui = Ui();
  ui.SetTooltip(IDC_TEST_BUTTON, IDS_TIP_TEST_START);
  ui.SetText(IDC_TEST_BUTTON, ProgramText(IDS_TEST_START));
  ui.SetText(IDC_TEST_STATUS, {});
  ui.Enable(IDC_TEST_BUTTON, true);
}

void CDlgTest::RunTest() {
  Ui().Enable(IDC_TEST_BUTTON, true);  // from now on the button stops the test
  RunLineTest(*Device(), *this);
  Ui().NotifySheet(WM_PAGE_IDLE);
  running = false;
  // The button comes last: once it is enabled the user may start the next test,
  // and nothing of this one may change the page after that.
  SetIdleButton();
}

void CDlgTest::Append(const std::string& text) {
  AppendToProtocol(protocol_, text);
  Ui().SetLogText(IDC_TEST_LOG, protocol_);
}

void CDlgTest::Status(const std::string& text) { Ui().SetText(IDC_TEST_STATUS, text); }

bool CDlgTest::StopRequested() { return stopRequested; }
