// The common base of the four pages of the main window. A page edits one record of
// the converter device (its link, RS-485 or loop set) through its controls; the
// sheet does every write into the converter. The page's window, whatever the
// platform makes of it, reaches the logic through the operations below and lends
// the page its control layer and its sheet when it is created.
#pragma once

#include <span>

#include "pages/controls.h"
#include "pages/page_sheet.h"
#include "settings/port_settings.h"

class ConverterDevice;

class CDlgPage {
 public:
  CDlgPage(int template_id, int caption_string_id)
      : templateId_(template_id), captionId_(caption_string_id) {}
  virtual ~CDlgPage() = default;
  CDlgPage(const CDlgPage&) = delete;
  CDlgPage& operator=(const CDlgPage&) = delete;

  int TemplateId() const { return templateId_; }
  int CaptionStringId() const { return captionId_; }
  // The page's controls, one constant table (ids as in the dialog template).
  virtual std::span<const ControlDef> Controls() const = 0;

  // Set by the sheet before the page is shown; not owned.
  void SetDevice(ConverterDevice* device) { device_ = device; }
  ConverterDevice* Device() const { return device_; }
  // The page's window lends its controls and its sheet; both outlive the window.
  void Attach(ControlLayer* controls, PageSheet* sheet) {
    controls_ = controls;
    sheet_ = sheet;
  }

  // The page's window has been created: fill the lists, set the ranges. The base
  // marks the page initialized; pages call it first.
  virtual bool OnInitDialog();
  // The page becomes the active tab: load the controls from the record.
  virtual bool OnSetActive();
  // The user leaves the page: false keeps it active. The base passes (the
  // platform's own check has nothing to check).
  virtual bool OnKillActive() { return true; }
  // The platform's apply: OnOK, then true.
  virtual bool OnApply();
  // The sheet does all writing: nothing here.
  virtual void OnOK() {}
  virtual void OnCancel() {}
  // A control reported an event.
  virtual void OnControl(int /*id*/, ControlEvent /*event*/) {}

  // The checks the sheet runs before it applies the page (the page's leave-page
  // validation without what leaving adds); false after the page has shown why.
  virtual bool Validate() { return true; }

  // Moves values between the controls and the device's records: save = false
  // loads the controls, save = true stores them into the records.
  virtual void ExchangeSettings(ConverterDevice* device, bool save, bool force) = 0;

  // Marks the page modified or clean and tells the sheet (WM_PAGE_MODIFIED /
  // WM_PAGE_CLEAN).
  void SetModified(bool modified);

  bool modified = false;      // holds edits not yet taken over
  bool updating = false;      // filling its own controls: change handlers do nothing
  bool needsRefresh = true;   // the next load refills even an unchanged record
  bool initialized = false;   // the controls exist

 protected:
  // The common load and save of a page that edits `record`. Load re-announces the
  // modified state, then fills the controls (FillControls, with updating set) when
  // a refresh is due, forced, or the record is marked changed. Save reads the
  // controls (ReadControls) only when the page is modified. Before the page's
  // controls exist neither touches them: the record keeps its changed mark for the
  // first load.
  void ExchangeRecord(PortSettings& record, bool save, bool force);
  virtual void FillControls(PortSettings& /*record*/) {}
  virtual void ReadControls(PortSettings& /*record*/) {}

  // Announces the modified state again without changing it.
  void AnnounceModified();

  // Whether a control's event is the user's change of it: the event that its kind
  // reports for a change (a list's selection, an edit's text, a button's click),
  // while the page is not filling its own controls.
  bool IsUserChange(int id, ControlEvent event) const;

  // Fills every list of the control table that has fixed items, in order, each
  // item's data its position; no item is selected.
  void FillFixedLists();
  // Gives every control of the table its tooltip.
  void RegisterTooltips();

  ControlLayer& Ui() const { return *controls_; }
  PageSheet& Sheet() const { return *sheet_; }

 private:
  int templateId_;
  int captionId_;
  ConverterDevice* device_ = nullptr;
  ControlLayer* controls_ = nullptr;
  PageSheet* sheet_ = nullptr;
};
