#include "pages/dlg_test.h"

#include "common/resource_ids.h"

CDlgTest::CDlgTest() : CDlgPage(IDD_TEST, IDS_TAB_TEST) {}

std::span<const ControlSpec> CDlgTest::Controls() const { return {}; }

void CDlgTest::ExchangeSettings(ConverterDevice*, bool, bool) {}
