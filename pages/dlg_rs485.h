// The page "RS-485 KV4T": the converter's own RS-485 side (line settings, network
// protocol, address length, network address and answer delay). It edits the
// device's RS-485 set; the sheet writes it into the converter. Its controls are
// named by their ids in common/resource_ids.h, the protocol list's positions are
// ProtocolItem's (common/setting_values.h). The converter has no protocol code for
// DCON, so the list does not offer it: choosing it could only write RAVIK.
#pragma once

#include "pages/dlg_page.h"

class CDlgRs485 : public CDlgPage {
 public:
  CDlgRs485();
  std::span<const ControlDef> Controls() const override;

  bool OnInitDialog() override;
  bool OnKillActive() override;
  void OnControl(int id, ControlEvent event) override;
  // The RS-485 write replaced the set's address by `address` (the set already
  // holds it): the address edit shows it and the user goes on from the delay.
  void OnAddressCorrected(int address);
  // The leave-page checks, which the sheet also runs before it writes the set: a
  // rate chosen from the list (the set may hold one the list does not offer), the
  // address and the delay given and in range, the word length the protocol needs.
  bool Validate() override;
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;

 protected:
  void FillControls(PortSettings& record) override;
  void ReadControls(PortSettings& record) override;

 private:
  // What the controls hold, as the checks read them: the rate chosen (0 with
  // none), the word length shown read as a number (0 with none), the address
  // length and protocol chosen, the address and the delay typed.
  PortSettings Entered();
  // An answer delay outside 0..45 in the record becomes 20, with the message, in
  // the record and the delay edit, which takes the focus.
  void CorrectDelay(PortSettings& record);
  void OnProtocolChanged();
  // Modbus RTU needs 8 data bits and Modbus ASCII 7: after the message the page
  // selects the right word length itself and stores it into the record.
  bool CheckWordLength(const PortSettings& entered);
};
