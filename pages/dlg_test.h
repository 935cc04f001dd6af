// The line-test page, tab "Тест": identifies the converter, reads the loop
// instrument's settings and dumps the converter's holding registers into a
// readable protocol, on a worker thread that the user can stop.
#pragma once

#include "pages/dlg_page.h"

class CDlgTest : public CDlgPage {
 public:
  CDlgTest();
  std::span<const ControlSpec> Controls() const override;
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;
};
