// The pages' control tables against their dialog templates. The page logic, its
// Win32 binding and the recording control layer of the page tests take a page's
// controls from its table; the user sees what the resource script puts in the
// template. Here both are compared, read as the resource compiler reads the
// scripts: every control of a table is in its template with the table's kind,
// label, unit and group box, and the template holds no control, text or group box
// that the table does not know.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "common/resource_ids.h"
#include "pages/controls.h"
#include "pages/dlg_loop.h"
#include "pages/dlg_rs485.h"
#include "pages/dlg_settings.h"
#include "pages/dlg_test.h"
#include "tests/pages/named_cases.h"
#include "tests/pages/rc_script.h"

namespace {

using rc_script::Dialog;
using rc_script::Item;
using rc_script::Rect;

// The build's list of page scripts and the folders windres takes their includes
// from, each joined by "|".
std::vector<std::string> Split(const std::string& joined) {
  std::vector<std::string> out;
  std::stringstream in(joined);
  for (std::string part; std::getline(in, part, '|');)
    if (!part.empty()) out.push_back(part);
  return out;
}
const std::vector<std::string> kPageScripts = Split(KV4T_PAGE_SCRIPTS);
const std::vector<std::string> kIncludeDirs = Split(KV4T_SCRIPT_INCLUDE_DIRS);

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::drop_down: return "drop-down list";
    case ControlKind::edit: return "number edit";
    case ControlKind::spin: return "spin";
    case ControlKind::button: return "push button";
    case ControlKind::status: return "status text";
    case ControlKind::log: return "log box";
  }
  return "?";
}

bool Has(const Item& item, const char* style) { return item.styles.count(style) > 0; }

bool IsGroupBox(const Item& item) { return item.window_class == "Button" && Has(item, "BS_GROUPBOX"); }

// A static text (not a picture).
bool IsText(const Item& item) {
  return item.window_class == "Static" && !Has(item, "SS_ICON") && !Has(item, "SS_BITMAP");
}

// Attached to the control before it in the template, and placed on its edge.
bool IsAttachedSpin(const Item& item) {
  return item.window_class == "msctls_updown32" && Has(item, "UDS_AUTOBUDDY");
}

// The kind of the table that the template's control is, if any.
std::optional<ControlKind> KindOf(const Item& item) {
  const std::string& cls = item.window_class;
  if (cls == "ComboBox" && Has(item, "CBS_DROPDOWNLIST")) return ControlKind::drop_down;
  if (cls == "Edit" && Has(item, "ES_MULTILINE"))
    return Has(item, "ES_READONLY") && Has(item, "WS_VSCROLL") ? std::optional(ControlKind::log) : std::nullopt;
  if (cls == "Edit" && Has(item, "ES_NUMBER")) return ControlKind::edit;
  if (cls == "msctls_updown32" && Has(item, "UDS_AUTOBUDDY") && Has(item, "UDS_SETBUDDYINT"))
    return ControlKind::spin;
  if (cls == "Button") {
    // BS_PUSHBUTTON is 0: a button is a push button unless it is written as another.
    for (const char* other : {"BS_GROUPBOX", "BS_CHECKBOX", "BS_AUTOCHECKBOX", "BS_RADIOBUTTON",
                              "BS_AUTORADIOBUTTON", "BS_3STATE", "BS_AUTO3STATE", "BS_OWNERDRAW"})
      if (Has(item, other)) return std::nullopt;
    return ControlKind::button;
  }
  if (IsText(item) && item.id != -1) return ControlKind::status;
  return std::nullopt;
}

std::string KindShown(const Item& item) {
  if (const auto kind = KindOf(item)) return KindName(*kind);
  std::string styles;
  for (const std::string& s : item.styles) styles += (styles.empty() ? "" : " | ") + s;
  return item.statement + " of class " + item.window_class + " with " + styles;
}

// A closed drop-down list is one line high, whatever height its template gives the
// open list.
constexpr int kClosedListHeight = 12;

Rect Shown(const Item& item) {
  Rect r = item.rect;
  if (item.window_class == "ComboBox") r.cy = std::min(r.cy, kClosedListHeight);
  return r;
}

bool RowsMeet(const Rect& a, const Rect& b) { return a.y < b.y + b.cy && b.y < a.y + a.cy; }
bool ColumnsMeet(const Rect& a, const Rect& b) { return a.x < b.x + b.cx && b.x < a.x + a.cx; }
// `label` ends left of `field` on the field's row, or above the field over it.
bool LabelFits(const Rect& label, const Rect& field) {
  return (label.x + label.cx <= field.x && RowsMeet(label, field)) ||
         (label.y + label.cy <= field.y && ColumnsMeet(label, field));
}
// `unit` begins right of `field`, on its row.
bool UnitFits(const Rect& unit, const Rect& field) { return unit.x >= field.x + field.cx && RowsMeet(unit, field); }
bool Inside(const Rect& inner, const Rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.cx <= outer.x + outer.cx &&
         inner.y + inner.cy <= outer.y + outer.cy;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// What the user sees of each control of a dialog template: its label (the text
// just before it, which a screen reader names it by, placed left of it or above
// it), its unit (the text just after it, or after its spin, to its right), its
// group box (the innermost one around it; a spin's is its edit's) and the edit a
// spin writes into. The texts and group boxes so taken are marked as used.
class TemplateView {
 public:
  explicit TemplateView(const Dialog& dialog) : items_(dialog.items), used_(items_.size(), false) {}

  const Item* Find(int id) const {
    for (const Item& item : items_)
      if (item.id == id) return &item;
    return nullptr;
  }
  std::size_t IndexOf(const Item& item) const { return static_cast<std::size_t>(&item - items_.data()); }

  std::string Label(std::size_t i) {
    if (i == 0 || IsAttachedSpin(items_[i])) return "";
    return Use(i - 1, LabelFits(Shown(items_[i - 1]), Shown(items_[i])));
  }

  std::string Unit(std::size_t i) {
    if (IsAttachedSpin(items_[i])) return "";
    std::size_t next = i + 1;
    if (next < items_.size() && IsAttachedSpin(items_[next])) ++next;
    if (next >= items_.size()) return "";
    return Use(next, UnitFits(Shown(items_[next]), Shown(items_[i])));
  }

  std::string Group(std::size_t i) {
    if (IsAttachedSpin(items_[i]) && i > 0) return Group(i - 1);
    std::optional<std::size_t> best;
    for (std::size_t g = 0; g < items_.size(); ++g) {
      if (!IsGroupBox(items_[g]) || !Inside(Shown(items_[i]), items_[g].rect)) continue;
      if (!best || Inside(items_[g].rect, items_[*best].rect)) best = g;
    }
    if (!best) return "";
    used_[*best] = true;
    return items_[*best].text;
  }

  // The id of the control a spin writes into; 0 when it is attached to none.
  int Buddy(std::size_t i) const { return IsAttachedSpin(items_[i]) && i > 0 ? items_[i - 1].id : 0; }

  // The texts and group boxes without an id that no control took as its label,
  // unit or group box.
  std::vector<const Item*> Unused() const {
    std::vector<const Item*> out;
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i].id == -1 && !used_[i] && (IsText(items_[i]) || IsGroupBox(items_[i]))) out.push_back(&items_[i]);
    return out;
  }

 private:
  // The text of item j when it is a text without an id placed as it must be.
  std::string Use(std::size_t j, bool placed) {
    const Item& item = items_[j];
    if (!placed || item.id != -1 || !IsText(item)) return "";
    used_[j] = true;
    return item.text;
  }

  const std::vector<Item>& items_;
  std::vector<bool> used_;
};

// Every way in which a page's table and its template disagree, one line each.
std::vector<std::string> Disagreements(std::span<const ControlDef> table, const Dialog& dialog) {
  std::vector<std::string> out;
  const auto said = [&](const std::string& line) { out.push_back(line); };
  std::map<int, int> template_ids, table_ids;
  for (const Item& item : dialog.items)
    if (item.id != -1 && ++template_ids[item.id] == 2)
      said("id " + std::to_string(item.id) + " (" + item.where + ") twice in the template");
  for (const ControlDef& def : table)
    if (++table_ids[def.id] == 2) said("id " + std::to_string(def.id) + " twice in the table");

  TemplateView view(dialog);
  for (const ControlDef& def : table) {
    const std::string who = "control " + std::to_string(def.id);
    const Item* item = view.Find(def.id);
    if (!item) {
      said(who + " (" + KindName(def.kind) + " " + Quoted(def.label) + ") is not in the template");
      continue;
    }
    const std::string at = who + " (" + item->where + "): ";
    const std::size_t i = view.IndexOf(*item);
    const auto compare = [&](const char* fact, const std::string& table_has, const std::string& template_has) {
      if (table_has != template_has)
        said(at + fact + ": the table " + Quoted(table_has) + ", the template " + Quoted(template_has));
    };
    const auto kind = KindOf(*item);
    if (kind != def.kind) said(at + "kind: the table " + KindName(def.kind) + ", the template " + KindShown(*item));
    // A button or a status line shows its own text; the other controls a label's.
    const bool own_text = def.kind == ControlKind::button || def.kind == ControlKind::status;
    compare("label", def.label, own_text ? item->text : view.Label(i));
    compare("unit", def.unit, view.Unit(i));
    compare("group box", def.group, view.Group(i));
    if (def.kind == ControlKind::spin && view.Buddy(i) != def.buddy)
      said(at + "attached to " + std::to_string(view.Buddy(i)) + " (the control before it), the table " +
           std::to_string(def.buddy));
  }
  for (const Item& item : dialog.items)
    if (item.id != -1 && !table_ids.count(item.id))
      said("the template's control " + std::to_string(item.id) + " (" + item.where + ", " + KindShown(item) +
           ") is not in the table");
  for (const Item* item : view.Unused())
    said(std::string(IsGroupBox(*item) ? "the group box " : "the text ") + Quoted(item->text) + " (" +
         item->where + ") is no label, unit or group box of a control of the table");
  return out;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "\n  " + line;
  return out;
}

TEST(PageScripts, EveryPageTableAgreesWithItsTemplate) {
  ASSERT_FALSE(kPageScripts.empty());
  std::vector<Dialog> dialogs;
  for (const std::string& script : kPageScripts) {
    std::string error;
    ASSERT_TRUE(rc_script::ReadScript(script, kIncludeDirs, dialogs, error)) << error;
  }
  CDlgSettings settings;
  CDlgRs485 rs485;
  CDlgLoop loop;
  CDlgTest test;
  std::set<int> pages;
  for (const CDlgPage* page : std::initializer_list<const CDlgPage*>{&settings, &rs485, &loop, &test}) {
    SCOPED_TRACE("template " + std::to_string(page->TemplateId()));
    pages.insert(page->TemplateId());
    std::vector<const Dialog*> found;
    for (const Dialog& d : dialogs)
      if (d.id == page->TemplateId()) found.push_back(&d);
    ASSERT_EQ(found.size(), 1u) << "the page scripts define the page's template once";
    ASSERT_FALSE(found[0]->items.empty());
    const std::vector<std::string> disagreements = Disagreements(page->Controls(), *found[0]);
    EXPECT_TRUE(disagreements.empty()) << Lines(disagreements);
  }
  for (const Dialog& d : dialogs)
    EXPECT_TRUE(pages.count(d.id)) << "the template " << d.id << " (" << d.where << ") is no page's";
}

// A script written as fixture.rc into a folder of the running test's own (ctest
// runs the cases as parallel processes, and other builds may run them too), which
// is removed with it.
class ScriptFile {
 public:
  explicit ScriptFile(const std::string& bytes) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name() + "." +
                       std::to_string(std::random_device()());
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = std::filesystem::path(::testing::TempDir()) / ("kv4t_page_scripts." + name);
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / "fixture.rc").string();
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~ScriptFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  ScriptFile(const ScriptFile&) = delete;
  ScriptFile& operator=(const ScriptFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path folder_;
  std::string path_;
};

// A small page on the program's own dialog macros, and the table it agrees with.
constexpr const char* kFixture = R"(#include "dialog_style.rh"
#define PORT_Y KV4T_MARGIN
#define PROTOCOL_Y KV4T_GROUP_AFTER(PORT_Y, 1)
KV4T_PAGE(900)
BEGIN
  KV4T_GROUP("Настройки порта", PORT_Y, 1)
  KV4T_LIST_ROW("Скорость", IDC_BAUD, KV4T_ROW_Y(PORT_Y, 0))
  KV4T_GROUP("Протокол", PROTOCOL_Y, 1)
  KV4T_NUMBER_UNIT_ROW("Задержка", IDC_RS485_DELAY, IDC_RS485_DELAY_SPIN, "мс", KV4T_ROW_Y(PROTOCOL_Y, 0))
  KV4T_ACTION_BUTTON("Настройки по умолчанию", IDC_DEFAULTS)
END
)";

constexpr ControlDef kFixtureTable[] = {
    {.id = IDC_BAUD, .kind = ControlKind::drop_down, .label = "Скорость", .group = "Настройки порта"},
    {.id = IDC_RS485_DELAY, .kind = ControlKind::edit, .label = "Задержка", .unit = "мс", .group = "Протокол"},
    {.id = IDC_RS485_DELAY_SPIN, .kind = ControlKind::spin, .buddy = IDC_RS485_DELAY, .group = "Протокол"},
    {.id = IDC_DEFAULTS, .kind = ControlKind::button, .label = "Настройки по умолчанию"},
};

// The fixture with one piece of its text replaced, and what the comparison must
// then report ("" for nothing).
struct Fault : NamedCase {
  const char* from;
  const char* to;
  const char* reported;
};

constexpr const char* kListRow = R"(KV4T_LIST_ROW("Скорость", IDC_BAUD, KV4T_ROW_Y(PORT_Y, 0)))";
constexpr const char* kDelayRow =
    R"(KV4T_NUMBER_UNIT_ROW("Задержка", IDC_RS485_DELAY, IDC_RS485_DELAY_SPIN, "мс", KV4T_ROW_Y(PROTOCOL_Y, 0)))";
constexpr const char* kButton = R"(KV4T_ACTION_BUTTON("Настройки по умолчанию", IDC_DEFAULTS))";

const Fault kFaults[] = {
    {{"agreeing"}, "", "", ""},
    {{"label"}, R"("Скорость", IDC_BAUD)", R"("Скорость:", IDC_BAUD)",
     "control 1002 (fixture.rc:7): label: the table \"Скорость\", the template \"Скорость:\""},
    {{"label_after_its_list"}, kListRow,
     R"(COMBOBOX IDC_BAUD, KV4T_FIELD_X, KV4T_ROW_Y(PORT_Y, 0), KV4T_FIELD_W, KV4T_DROP_H, KV4T_LIST_STYLE
        KV4T_LABEL("Скорость", KV4T_ROW_Y(PORT_Y, 0)))",
     "label: the table \"Скорость\", the template \"\""},
    {{"group_box"}, R"(KV4T_GROUP("Настройки порта")", R"(KV4T_GROUP("Порт")",
     "group box: the table \"Настройки порта\", the template \"Порт\""},
    {{"outside_its_group"}, R"(KV4T_ROW_Y(PORT_Y, 0)))", R"(KV4T_ROW_Y(PROTOCOL_Y, 2)))",
     "group box: the table \"Настройки порта\", the template \"\""},
    {{"editable_list"}, kListRow,
     R"(KV4T_LABEL("Скорость", KV4T_ROW_Y(PORT_Y, 0))
        COMBOBOX IDC_BAUD, KV4T_FIELD_X, KV4T_ROW_Y(PORT_Y, 0), KV4T_FIELD_W, KV4T_DROP_H, CBS_DROPDOWN | WS_TABSTOP)",
     "kind: the table drop-down list, the template COMBOBOX of class ComboBox with CBS_DROPDOWN | WS_TABSTOP"},
    {{"no_unit"}, kDelayRow,
     R"(KV4T_NUMBER_ROW("Задержка", IDC_RS485_DELAY, IDC_RS485_DELAY_SPIN, KV4T_ROW_Y(PROTOCOL_Y, 0)))",
     "unit: the table \"мс\", the template \"\""},
    {{"spin_after_the_unit"}, kDelayRow,
     R"(KV4T_LABEL("Задержка", KV4T_ROW_Y(PROTOCOL_Y, 0))
        EDITTEXT IDC_RS485_DELAY, KV4T_FIELD_X, KV4T_ROW_Y(PROTOCOL_Y, 0), KV4T_NUMBER_W, KV4T_FIELD_H, KV4T_NUMBER_STYLE
        LTEXT "мс", IDC_STATIC, KV4T_UNIT_X, KV4T_ROW_Y(PROTOCOL_Y, 0) + 2, 20, 8
        CONTROL "", IDC_RS485_DELAY_SPIN, UPDOWN_CLASS, KV4T_SPIN_STYLE, 0, 0, 0, 0)",
     "control 1011 (fixture.rc:12): attached to -1 (the control before it), the table 1009"},
    {{"control_missing"}, kButton, "",
     "control 1013 (push button \"Настройки по умолчанию\") is not in the template"},
    {{"control_not_in_the_table"}, kButton, R"(PUSHBUTTON "Считать", IDC_LOOP_READ, 7, 160, 50, 14
        KV4T_ACTION_BUTTON("Настройки по умолчанию", IDC_DEFAULTS))",
     "the template's control 1021 (fixture.rc:10, push button) is not in the table"},
    {{"stray_text"}, kButton, R"(LTEXT "Лишнее", IDC_STATIC, 7, 150, 50, 8
        KV4T_ACTION_BUTTON("Настройки по умолчанию", IDC_DEFAULTS))",
     "the text \"Лишнее\" (fixture.rc:10) is no label, unit or group box of a control of the table"},
    {{"empty_group_box"}, kButton, R"(KV4T_GROUP("Прочее", 120, 1)
        KV4T_ACTION_BUTTON("Настройки по умолчанию", IDC_DEFAULTS))",
     "the group box \"Прочее\" (fixture.rc:10) is no label, unit or group box of a control of the table"},
    {{"id_twice"}, kButton, R"(PUSHBUTTON "Ещё", IDC_DEFAULTS, 7, 160, 50, 14
        KV4T_ACTION_BUTTON("Настройки по умолчанию", IDC_DEFAULTS))",
     "id 1013 (fixture.rc:11) twice in the template"},
};

class PageScriptFaults : public ::testing::TestWithParam<Fault> {};

TEST_P(PageScriptFaults, AreReported) {
  const Fault& fault = GetParam();
  std::string text = kFixture;
  if (*fault.from) {
    const std::size_t at = text.find(fault.from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::strlen(fault.from), fault.to);
  }
  std::vector<Dialog> dialogs;
  std::string error;
  const ScriptFile script(text);
  ASSERT_TRUE(rc_script::ReadScript(script.path(), kIncludeDirs, dialogs, error)) << error;
  ASSERT_EQ(dialogs.size(), 1u);
  const std::vector<std::string> found = Disagreements(kFixtureTable, dialogs[0]);
  if (!*fault.reported) {
    EXPECT_TRUE(found.empty()) << Lines(found);
    return;
  }
  const bool reported = std::any_of(found.begin(), found.end(), [&](const std::string& line) {
    return line.find(fault.reported) != std::string::npos;
  });
  EXPECT_TRUE(reported) << "expected: " << fault.reported << "\nreported:" << Lines(found);
}

INSTANTIATE_TEST_SUITE_P(Fixture, PageScriptFaults, ::testing::ValuesIn(kFaults), CaseName());

// How the reader takes a script's texts and what it refuses: the code page named
// by "#pragma code_page" decides how a text's bytes are read.
struct Reading : NamedCase {
  std::string script;     // its bytes
  const char* text;       // the label read (UTF-8), or nullptr
  const char* error;      // else a part of the error
};

std::string Page(const std::string& head, const std::string& label) {
  return head + "\n900 DIALOGEX 0, 0, 100, 50\nBEGIN\n  LTEXT \"" + label + "\", -1, 1, 1, 40, 8\nEND\n";
}

const std::string kUtf8 = "Чётность";
const std::string kCp1251 = Utf8ToCp1251(kUtf8);

const Reading kReadings[] = {
    {{"utf8"}, Page("#pragma code_page(65001)", kUtf8), "Чётность", nullptr},
    {{"utf8_with_a_byte_order_mark"}, "\xEF\xBB\xBF" + Page("#pragma code_page(65001)", kUtf8), "Чётность",
     nullptr},
    {{"windows_1251"}, Page("#pragma code_page(1251)", kCp1251), "Чётность", nullptr},
    {{"crlf_lines_and_a_comment"}, Page("/* the\r\n   head */ #pragma code_page(1251)\r\n", kCp1251), "Чётность",
     nullptr},
    {{"ascii_needs_no_code_page"}, Page("", "COM"), "COM", nullptr},
    {{"windows_1251_under_utf8"}, Page("#pragma code_page(65001)", kCp1251), nullptr,
     "fixture.rc:4: a text that is not UTF-8"},
    {{"no_code_page"}, Page("", kUtf8), nullptr,
     "fixture.rc:4: a text with letters beyond ASCII before any #pragma code_page"},
    {{"code_page_after_the_text"}, Page("", kUtf8) + "#pragma code_page(65001)\n", nullptr,
     "before any #pragma code_page"},
    {{"another_code_page"}, Page("#pragma code_page(1252)", "COM"), nullptr,
     "the reader knows 65001 (UTF-8) and 1251"},
    {{"if"}, Page("#if 1\n#endif", "COM"), nullptr, "fixture.rc:1: #if: not read"},
    {{"another_resource"}, "1 ICON \"kv4t.ico\"\n", nullptr, "a resource that is not a dialog"},
    {{"unknown_id"}, "900 DIALOGEX 0, 0, 100, 50\nBEGIN\n  LTEXT \"\", IDC_NOWHERE, 1, 1, 40, 8\nEND\n", nullptr,
     "fixture.rc:3: id: IDC_NOWHERE is no number the script defines"},
    {{"call_across_lines"},
     "#define ROW(a, b) LTEXT a, b, 1, 1, 40, 8\n900 DIALOGEX 0, 0, 100, 50\nBEGIN\n  ROW(\"\",\n -1)\nEND\n", nullptr,
     "fixture.rc:4: the call of ROW does not end on its line"},
};

class ScriptReader : public ::testing::TestWithParam<Reading> {};

TEST_P(ScriptReader, ReadsTextsInTheirCodePage) {
  const Reading& r = GetParam();
  std::vector<Dialog> dialogs;
  std::string error;
  const ScriptFile script(r.script);
  const bool read = rc_script::ReadScript(script.path(), kIncludeDirs, dialogs, error);
  if (r.error) {
    EXPECT_FALSE(read);
    EXPECT_NE(error.find(r.error), std::string::npos) << error;
    return;
  }
  ASSERT_TRUE(read) << error;
  ASSERT_EQ(dialogs.size(), 1u);
  ASSERT_EQ(dialogs[0].items.size(), 1u);
  EXPECT_EQ(dialogs[0].items[0].text, r.text);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptReader, ::testing::ValuesIn(kReadings), CaseName());

}  // namespace
