#include "tests/pages/recording_ui.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "common/code_pages.h"

namespace {

std::string U8(const std::string& cp1251) { return Cp1251ToUtf8(cp1251); }

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// The edit's text as an up-down control reads it: a whole decimal number, or
// nothing.
bool ParseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

RecordingControls::RecordingControls(RecordingUi& ui, CDlgPage& page, PageSheet* sheet,
                                     std::function<void(PageNotification)> to_sheet)
    : ui_(ui), page_(page), toSheet_(std::move(to_sheet)) {
  page_.Attach(this, sheet);
}

std::string RecordingControls::Who() const { return "page " + std::to_string(page_.TemplateId()); }

RecordingControls::Control& RecordingControls::At(int id) { return controls_[id]; }

const ControlDef* RecordingControls::Def(int id) const {
  for (const ControlDef& def : page_.Controls())
    if (def.id == id) return &def;
  return nullptr;
}

void RecordingControls::Dispatch(int id, ControlEvent event) { page_.OnControl(id, event); }

void RecordingControls::ResetItems(int id) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.items.clear();
  c.selection = -1;
}

int RecordingControls::AddItem(int id, const std::string& text, intptr_t data) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.items.push_back({text, data});
  return static_cast<int>(c.items.size()) - 1;
}

int RecordingControls::ItemCount(int id) {
  std::lock_guard lock(mutex_);
  return static_cast<int>(At(id).items.size());
}

std::string RecordingControls::ItemText(int id, int index) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  if (index < 0 || index >= static_cast<int>(c.items.size())) return {};
  return c.items[static_cast<size_t>(index)].text;
}

intptr_t RecordingControls::ItemData(int id, int index) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  // CB_ERR, as the combo box answers for an index it does not hold.
  if (index < 0 || index >= static_cast<int>(c.items.size())) return -1;
  return c.items[static_cast<size_t>(index)].data;
}

int RecordingControls::GetSelection(int id) {
  std::lock_guard lock(mutex_);
  return At(id).selection;
}

void RecordingControls::SetSelection(int id, int index) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.selection = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
}

int RecordingControls::SelectByPrefix(int id, const std::string& prefix) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  for (size_t i = 0; i < c.items.size(); ++i)
    if (StartsWithNoCase(c.items[i].text, prefix)) {
      c.selection = static_cast<int>(i);
      return c.selection;
    }
  return -1;
}

std::string RecordingControls::GetText(int id) {
  std::lock_guard lock(mutex_);
  return At(id).text;
}

void RecordingControls::SetText(int id, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    At(id).text = text;
  }
  const ControlDef* def = Def(id);
  if (def && def->kind == ControlKind::edit) Dispatch(id, ControlEvent::text_changed);
}

void RecordingControls::SetLogText(int id, const std::string& text) {
  std::lock_guard lock(mutex_);
  At(id).text = text;
}

bool RecordingControls::IsEnabled(int id) {
  std::lock_guard lock(mutex_);
  return At(id).enabled;
}

void RecordingControls::Enable(int id, bool enable) {
  std::lock_guard lock(mutex_);
  At(id).enabled = enable;
}

void RecordingControls::Focus(int id) {
  {
    std::lock_guard lock(mutex_);
    focus_ = id;
  }
  ui_.Record({UiEvent::focus, Who(), "", "", 0, 0, id});
}

void RecordingControls::Redraw(int id) {
  std::lock_guard lock(mutex_);
  ++At(id).redraws;
}

void RecordingControls::SetSpinRange(int id, int low, int high) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.low = low;
  c.high = high;
}

void RecordingControls::SetSpinPos(int id, int pos) {
  int buddy = 0;
  {
    std::lock_guard lock(mutex_);
    Control& c = At(id);
    c.pos = pos < c.low ? c.low : pos > c.high ? c.high : pos;
    pos = c.pos;
    if (const ControlDef* def = Def(id)) buddy = def->buddy;
  }
  if (buddy) SetText(buddy, std::to_string(pos));
}

int RecordingControls::GetSpinPos(int id) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  const ControlDef* def = Def(id);
  int value = 0;
  // The control takes the edit's number when it is a number within the range and
  // otherwise keeps the position it had.
  if (def && def->buddy && ParseInt(At(def->buddy).text, value) && value >= c.low &&
      value <= c.high)
    c.pos = value;
  return c.pos;
}

void RecordingControls::SetTooltip(int id, int string_id) {
  std::lock_guard lock(mutex_);
  At(id).tooltip = string_id;
}

int RecordingControls::ShowMessage(const std::string& text, const std::string& caption,
                                   unsigned style) {
  ui_.Record({UiEvent::box, Who(), U8(text), U8(caption), style});
  return 1;
}

void RecordingControls::Beep(unsigned style) { ui_.Record({UiEvent::beep, Who(), "", "", style}); }

void RecordingControls::SetCursor(Cursor cursor) {
  ui_.Record({UiEvent::cursor, Who(), "", "", 0, cursor == Cursor::wait ? 1 : 0});
}

void RecordingControls::NotifySheet(PageNotification notification) {
  ui_.Record({UiEvent::notify, Who(), "", "", 0, static_cast<int>(notification)});
  if (toSheet_) toSheet_(notification);
}

bool RecordingControls::Create() {
  // What the dialog template gives the window: its controls, and the captions of
  // its buttons. Everything else (items, ranges, texts, tooltips) is the page's to
  // put there in its initialisation, and is recorded as it does.
  {
    std::lock_guard lock(mutex_);
    for (const ControlDef& def : page_.Controls()) {
      Control& c = At(def.id);
      if (def.kind == ControlKind::button) c.text = Utf8ToCp1251(def.label);
    }
  }
  return page_.OnInitDialog();
}

bool RecordingControls::Activate() { return page_.OnSetActive(); }

bool RecordingControls::Leave() { return page_.OnKillActive(); }

bool RecordingControls::Choose(int id, int index) {
  {
    std::lock_guard lock(mutex_);
    Control& c = At(id);
    if (!c.enabled || index < 0 || index >= static_cast<int>(c.items.size())) return false;
    c.selection = index;
  }
  Dispatch(id, ControlEvent::selection_changed);
  return true;
}

bool RecordingControls::ChooseText(int id, const std::string& utf8) {
  const std::string text = Utf8ToCp1251(utf8);
  int index = -1;
  {
    std::lock_guard lock(mutex_);
    Control& c = At(id);
    for (size_t i = 0; i < c.items.size() && index < 0; ++i)
      if (c.items[i].text == text) index = static_cast<int>(i);
  }
  return index >= 0 && Choose(id, index);
}

bool RecordingControls::Type(int id, const std::string& utf8) {
  if (!IsEnabled(id)) return false;
  SetText(id, Utf8ToCp1251(utf8));
  return true;
}

bool RecordingControls::Press(int id) {
  if (!IsEnabled(id)) return false;
  Dispatch(id, ControlEvent::clicked);
  return true;
}

bool RecordingControls::SpinTo(int spin, int pos) {
  const ControlDef* def = Def(spin);
  if (!def || !IsEnabled(spin) || (def->buddy && !IsEnabled(def->buddy))) return false;
  SetSpinPos(spin, pos);
  return true;
}

std::string RecordingControls::Text(int id) { return U8(GetText(id)); }

std::vector<std::string> RecordingControls::Items(int id) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const Item& item : At(id).items) out.push_back(U8(item.text));
  return out;
}

std::string RecordingControls::Selected(int id) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  return c.selection < 0 ? std::string() : U8(c.items[static_cast<size_t>(c.selection)].text);
}

std::pair<int, int> RecordingControls::SpinRange(int id) {
  std::lock_guard lock(mutex_);
  return {At(id).low, At(id).high};
}

int RecordingControls::FocusedControl() {
  std::lock_guard lock(mutex_);
  return focus_;
}

int RecordingControls::Tooltip(int id) {
  std::lock_guard lock(mutex_);
  return At(id).tooltip;
}

int RecordingControls::Redraws(int id) {
  std::lock_guard lock(mutex_);
  return At(id).redraws;
}

void RecordingSheetHost::EnableButton(int button, bool enable) {
  std::lock_guard lock(mutex_);
  buttons_[button] = enable;
}

bool RecordingSheetHost::IsButtonEnabled(int button) {
  std::lock_guard lock(mutex_);
  auto it = buttons_.find(button);
  return it == buttons_.end() || it->second;
}

void RecordingSheetHost::SetCursor(Cursor cursor) {
  ui_.Record({UiEvent::cursor, "sheet", "", "", 0, cursor == Cursor::wait ? 1 : 0});
}

int RecordingSheetHost::ShowMessage(const std::string& text, const std::string& caption,
                                    unsigned style) {
  ui_.Record({UiEvent::box, "sheet", Cp1251ToUtf8(text), Cp1251ToUtf8(caption), style});
  return 1;
}

WindowHandle RecordingSheetHost::Window() { return RecordingUi::kSheetWindow; }

RecordingUi::RecordingUi() { SetUserNotices(this); }

RecordingUi::~RecordingUi() {
  SetUserNotices(nullptr);
  SetSilentState(false);
}

int RecordingUi::ShowMessage(WindowHandle owner, const std::string& text,
                             const std::string& caption, unsigned style) {
  Record({UiEvent::box, owner == kSheetWindow ? "sheet" : "device", Cp1251ToUtf8(text),
          Cp1251ToUtf8(caption), style});
  return 1;
}

void RecordingUi::Beep(unsigned style) { Record({UiEvent::beep, "device", "", "", style}); }

void RecordingUi::SetWaitCursor() { Record({UiEvent::cursor, "device", "", "", 0, 1}); }

void RecordingUi::RestoreArrowCursor() { Record({UiEvent::cursor, "device", "", "", 0, 0}); }

void RecordingUi::Record(UiEvent event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  if (onRecord) onRecord(event);
}

std::vector<UiEvent> RecordingUi::Events() {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<UiEvent> RecordingUi::Boxes() {
  std::lock_guard lock(mutex_);
  std::vector<UiEvent> out;
  for (const UiEvent& e : events_)
    if (e.kind == UiEvent::box) out.push_back(e);
  return out;
}

void RecordingUi::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}
