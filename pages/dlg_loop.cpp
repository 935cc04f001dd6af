#include "pages/dlg_loop.h"

#include "common/resource_ids.h"

CDlgLoop::CDlgLoop() : CDlgPage(IDD_LOOP, IDS_TAB_LOOP) {}

std::span<const ControlSpec> CDlgLoop::Controls() const { return {}; }

void CDlgLoop::ExchangeSettings(ConverterDevice*, bool, bool) {}
