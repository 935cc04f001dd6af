// The control layer: a page's controls are data, and the page logic reaches them
// only through the small interface below. The Win32 binding maps every call to one
// combo-box, edit, up-down or button message of the page's dialog; the tests bind a
// recording implementation in which a test acts as the user does. So every rule of
// the pages runs, and is tested, without a window system.
//
// Texts crossing this interface are program text: 8-bit Windows-1251. The static
// texts in the control tables are UTF-8 source text and are converted where a page
// puts them into a control.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "pages/notices.h"

// What a control is; the dialog templates create the matching window classes.
enum class ControlKind {
  drop_down,    // a drop-down list (combo box, CBS_DROPDOWNLIST)
  edit,         // an edit that takes digits only (ES_NUMBER)
  spin,         // an up-down control attached to an edit, writing its position there
  button,       // a push button
  status,       // a static text the page sets
  log,          // a multi-line read-only edit with a vertical scroll bar
};

// One control of a page: its identifier in the dialog template, its kind, the
// label shown beside it, the fixed items of a list (UTF-8, in order; lists filled
// at run time have none), the string id of its tooltip (0: none), and for a spin
// the edit it is attached to. A page's controls are one constant table, used by the
// page logic, the Win32 binding (tooltips) and the tests.
struct ControlDef {
  int id;
  ControlKind kind;
  const char* label = "";
  std::span<const char* const> items = {};
  int tooltip = 0;
  int buddy = 0;            // spin: the edit it writes into
  const char* unit = "";    // a unit label after an edit ("мс")
  const char* group = "";   // the group box the control sits in
};

// What a control tells its page: the page's handler for the control runs.
enum class ControlEvent {
  selection_changed,  // CBN_SELCHANGE: the user chose another item of a list
  text_changed,       // EN_CHANGE: an edit's text changed (also when set by code)
  clicked,            // BN_CLICKED
};

// The notifications a page sends to its sheet, synchronously, both parameters 0.
enum PageNotification : unsigned {
  WM_PAGE_BUSY = 2027,      // a device operation starts
  WM_PAGE_IDLE = 2028,      // it has ended
  WM_PAGE_MODIFIED = 2030,  // the page holds edits not yet taken over
  WM_PAGE_CLEAN = 2031,     // it holds none
};

enum class Cursor { arrow, wait };

// A page's controls, its message boxes and its line to the sheet. One instance per
// page window. The line-test worker calls it from its own thread: a binding must
// deliver such calls to the window thread synchronously, and the page's handlers
// then run on the window thread.
class ControlLayer {
 public:
  virtual ~ControlLayer() = default;

  // Drop-down lists. Indices from 0; -1 means no selection.
  virtual void ResetItems(int id) = 0;                                         // CB_RESETCONTENT
  virtual int AddItem(int id, const std::string& text, intptr_t data) = 0;    // CB_ADDSTRING + CB_SETITEMDATA
  virtual int ItemCount(int id) = 0;                                           // CB_GETCOUNT
  virtual std::string ItemText(int id, int index) = 0;                         // CB_GETLBTEXT
  virtual intptr_t ItemData(int id, int index) = 0;                            // CB_GETITEMDATA
  virtual int GetSelection(int id) = 0;                                        // CB_GETCURSEL
  virtual void SetSelection(int id, int index) = 0;                            // CB_SETCURSEL
  // Selects the first item whose text begins with `prefix` (letters compared
  // without regard to case) and answers its index; when none does, the selection
  // stays and the answer is -1 (CB_SELECTSTRING from the start of the list).
  virtual int SelectByPrefix(int id, const std::string& prefix) = 0;

  // Texts of edits, static texts, buttons (captions) and the log.
  virtual std::string GetText(int id) = 0;                                     // GetWindowText
  // Setting an edit's text makes it report text_changed to the page, as an edit
  // does; the page's handler sees its own updating flag.
  virtual void SetText(int id, const std::string& text) = 0;                   // SetWindowText
  // The log: its text replaced, the caret at its end and scrolled into view.
  virtual void SetLogText(int id, const std::string& text) = 0;

  virtual bool IsEnabled(int id) = 0;
  virtual void Enable(int id, bool enable) = 0;
  virtual void Focus(int id) = 0;
  // Redraws a control; id 0 redraws the whole page.
  virtual void Redraw(int id) = 0;

  // Up-down controls. Setting the position writes it into the attached edit as an
  // integer (which reports text_changed); the position read back is the edit's
  // number kept within the range.
  virtual void SetSpinRange(int id, int low, int high) = 0;                    // UDM_SETRANGE32
  virtual void SetSpinPos(int id, int pos) = 0;                                // UDM_SETPOS32
  virtual int GetSpinPos(int id) = 0;                                          // UDM_GETPOS32

  // The tooltip of a control (a string id of the string table).
  virtual void SetTooltip(int id, int string_id) = 0;

  // A modal message box owned by the page; answers the button pressed (IDOK = 1).
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned style) = 0;
  // The message-box sound of the given style (kNoticeIconError: the error beep).
  virtual void Beep(unsigned style) = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  // Sends one of the page notifications to the sheet and returns when the sheet has
  // handled it.
  virtual void NotifySheet(PageNotification notification) = 0;
};
