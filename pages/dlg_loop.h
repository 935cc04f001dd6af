// The current-loop page, tab "Токовая пет&ля": the instrument on the converter's
// current loop, chosen from the catalogue, its line settings and polling interval,
// and the button that reads them from the converter. The page edits the loop set;
// writing it into the converter is the sheet's work.
#pragma once

#include "pages/dlg_page.h"

struct DeviceDescription;

class CDlgLoop : public CDlgPage {
 public:
  CDlgLoop();
  std::span<const ControlDef> Controls() const override;
  bool OnInitDialog() override;
  // The polling interval must pass Validate before the page may be left.
  bool OnKillActive() override;
  void OnControl(int id, ControlEvent event) override;
  // The polling interval: not empty and within 1 to 60 seconds, whatever range the
  // instrument's spin allows. False after the page has shown why.
  bool Validate() override;
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;

 protected:
  void FillControls(PortSettings& record) override;
  void ReadControls(PortSettings& record) override;

 private:
  // The catalogue entry of a type-list item, or nullptr.
  const DeviceDescription* EntryAt(int index);
  // The catalogue entry chosen in the type list, or nullptr.
  const DeviceDescription* SelectedEntry();
  // The baud list's selected rate, or -1 with nothing selected.
  int SelectedBaud();
  // Lists, rates and the polling range of the chosen entry, with its default line
  // settings; the rate stays when the entry allows it.
  void Refill();
  // The polling spin's range for the entry at the given rate.
  void SetPollRange(const DeviceDescription& entry, int baud);
  // The polling spin at the loop set's polling interval.
  void SetPollPosition();
  void ReadFromConverter();
};
