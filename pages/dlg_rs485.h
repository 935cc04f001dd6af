// The page "RS-485 KV4T": the converter's own RS-485 side (line settings, network
// protocol, address length, network address and answer delay). It edits the
// device's RS-485 set; the sheet writes it into the converter.
#pragma once

#include "pages/dlg_page.h"

class CDlgRs485 : public CDlgPage {
 public:
  // Controls of the page (ids as in the dialog template).
  static constexpr int kBaud = 1002;
  static constexpr int kByteSize = 1003;
  static constexpr int kParity = 1004;
  static constexpr int kStopBits = 1005;
  static constexpr int kProtocol = 1006;
  static constexpr int kAddressLength = 1007;
  static constexpr int kAddress = 1008;
  static constexpr int kDelay = 1009;
  static constexpr int kAddressSpin = 1010;
  static constexpr int kDelaySpin = 1011;

  // Positions in the protocol list. The converter has no protocol code for DCON, so
  // the list does not offer it: choosing it could only write RAVIK.
  static constexpr int kProtocolRavik = 0;
  static constexpr int kProtocolRtu = 1;
  static constexpr int kProtocolAscii = 2;

  static constexpr int kMaxDelay = 45;
  // What an answer delay outside 0..45 becomes.
  static constexpr int kFallbackDelay = 20;

  CDlgRs485();
  std::span<const ControlSpec> Controls() const override;

  bool OnInitDialog() override;
  bool OnKillActive() override;
  void OnControl(int id, ControlEvent event) override;
  void OnFieldCorrected(CorrectedField field, int value) override;
  bool Validate() override;
  void ExchangeSettings(ConverterDevice* device, bool save, bool force) override;

 protected:
  void FillControls(PortSettings& record) override;
  void ReadControls(PortSettings& record) override;

 private:
  // An answer delay outside 0..45 in the record becomes 20, with the message, in
  // the record and the delay edit, which takes the focus.
  void CorrectDelay(PortSettings& record);
  void OnProtocolChanged();
  // Modbus RTU needs 8 data bits and Modbus ASCII 7: after the message the page
  // selects the right word length itself and stores it into the record.
  bool CheckWordLength();
};
