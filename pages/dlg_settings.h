// The page "RS-485 компьютера": how the computer reaches the converter (the serial
// port, the kind of RS-232/RS-485 adaptor, the line settings, the converter's
// address and address length). It edits the device's link set. Leaving it makes
// the sheet connect with these settings, and the page is not left while the
// converter does not answer. Its controls are named by their ids in
// common/resource_ids.h.
#pragma once

#include <functional>
#include <vector>

#include "pages/dlg_page.h"

class CDlgSettings : public CDlgPage {
 public:
  // The numbers n of the serial ports "COMn" present, in the order to list them.
  using PortLister = std::function<std::vector<int>()>;

  // The ports are the computer's own (probed once per run) unless SetPortLister
  // gives others before the page's window is created.
  CDlgSettings();
  void SetPortLister(PortLister lister) { portLister_ = std::move(lister); }
  std::span<const ControlDef> Controls() const override;

  bool OnInitDialog() override;
  // The address checks, the link apply through the sheet, then the link check.
  bool OnKillActive() override;
  // An address out of range for its length becomes 16, with a message.
  bool OnApply() override;
  void OnControl(int id, ControlEvent event) override;
  // The address checks of leaving the page (empty, out of range).
  bool Validate() override;
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;

  // Set when the computer has no serial port: the page never stores a port name.
  bool noPorts = false;

 protected:
  void FillControls(PortSettings& record) override;
  void ReadControls(PortSettings& record) override;

 private:
  void LoadDefaults();

  PortLister portLister_;
  std::vector<int> ports_;  // the ports listed, as probed when the window was created
};
