// The current-loop page, tab "Токовая пет&ля": the instrument on the converter's
// current loop, chosen from the catalogue, its line settings and polling interval,
// and the button that reads them from the converter.
#pragma once

#include "pages/dlg_page.h"

class CDlgLoop : public CDlgPage {
 public:
  CDlgLoop();
  std::span<const ControlSpec> Controls() const override;
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;
};
