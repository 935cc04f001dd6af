#include "tests/pages/rc_script.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "common/cp1251.h"
#include "common/unicode.h"

namespace rc_script {
namespace {

namespace fs = std::filesystem;

// Inside this file a script that cannot be read ends the reading by a throw of
// Failure, caught in ReadScript: the reader is a recursive descent, and every one
// of its steps would otherwise pass the failure up by hand.
struct Failure {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw Failure{where + ": " + what};
}

struct Token {
  enum Kind { ident, number, string, punct, code_page } kind = punct;
  // An identifier, a number or a punctuator as written; a string's bytes between
  // its quotes (escapes as written) until the parser decodes it to UTF-8; the
  // argument of "#pragma code_page".
  std::string text;
  std::string where;
  bool space_before = false;
  // The macros whose expansion this token came from: they are not expanded in it
  // again, as the C preprocessor does not.
  std::set<std::string> hidden;
};

bool IsPunct(const Token& t, char c) { return t.kind == Token::punct && t.text.size() == 1 && t.text[0] == c; }

bool SameWord(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Where(const std::string& path, int line) {
  return fs::path(path).filename().string() + ":" + std::to_string(line);
}

struct Line {
  int number;
  std::string text;
};

// The file's logical lines, as the C preprocessor sees them: a backslash before a
// line end joins two lines, a comment becomes one space (so a block comment over
// several lines joins them), CR LF ends a line as LF does. A line keeps the number
// of its first physical line.
std::vector<Line> LogicalLines(const std::string& path, const std::string& text) {
  std::vector<Line> lines;
  int physical = 1;
  Line current{1, ""};
  enum { normal, in_string, in_char, block_comment, line_comment } mode = normal;
  const auto at = [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && (at(i + 1) == '\n' || (at(i + 1) == '\r' && at(i + 2) == '\n'))) {
      i += at(i + 1) == '\r' ? 2 : 1;
      ++physical;
      continue;
    }
    if (c == '\r' && at(i + 1) == '\n') continue;
    if (c == '\n') {
      ++physical;
      if (mode == block_comment) continue;
      if (mode == in_string || mode == in_char) Fail(Where(path, current.number), "a text not closed on its line");
      mode = normal;
      lines.push_back(std::move(current));
      current = {physical, ""};
      continue;
    }
    switch (mode) {
      case normal:
        if (c == '/' && at(i + 1) == '*') {
          mode = block_comment;
          current.text += ' ';
          ++i;
        } else if (c == '/' && at(i + 1) == '/') {
          mode = line_comment;
          ++i;
        } else {
          if (c == '"') mode = in_string;
          if (c == '\'') mode = in_char;
          current.text += c;
        }
        break;
      case in_string:
      case in_char:
        current.text += c;
        if (c == '\\' && i + 1 < text.size() && at(i + 1) != '\n') {
          current.text += text[++i];
        } else if (c == (mode == in_string ? '"' : '\'')) {
          mode = normal;
        }
        break;
      case block_comment:
        if (c == '*' && at(i + 1) == '/') {
          mode = normal;
          ++i;
        }
        break;
      case line_comment:
        break;
    }
  }
  if (mode == block_comment) Fail(Where(path, current.number), "a comment not closed");
  if (mode == in_string || mode == in_char) Fail(Where(path, current.number), "a text not closed on its line");
  lines.push_back(std::move(current));
  return lines;
}

std::vector<Token> Tokenize(const std::string& text, const std::string& where) {
  std::vector<Token> out;
  bool space = true;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
      space = true;
      ++i;
      continue;
    }
    Token t;
    t.where = where;
    t.space_before = space;
    space = false;
    std::size_t j = i + 1;
    if (std::isalpha(c) || c == '_') {
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_')) ++j;
      t.kind = Token::ident;
      t.text = text.substr(i, j - i);
    } else if (std::isdigit(c)) {
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_' || text[j] == '.'))
        ++j;
      t.kind = Token::number;
      t.text = text.substr(i, j - i);
    } else if (c == '"') {
      while (j < text.size() && text[j] != '"') j += text[j] == '\\' ? 2 : 1;
      if (j >= text.size()) Fail(where, "a text not closed on its line");
      t.kind = Token::string;
      t.text = text.substr(i + 1, j - i - 1);
      ++j;
    } else if (c == '\'') {
      Fail(where, "a character constant: not read");
    } else if (c < 0x80 && std::ispunct(c)) {
      t.kind = Token::punct;
      t.text = std::string(1, static_cast<char>(c));
    } else {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", c);
      Fail(where, std::string("the byte ") + byte + " outside a text");
    }
    out.push_back(std::move(t));
    i = j;
  }
  return out;
}

struct Macro {
  bool function_like = false;
  std::vector<std::string> params;
  std::vector<Token> body;
};

// The C preprocessor, as far as resource scripts use it. Its output is one stream
// of tokens, with a code_page token where a "#pragma code_page" stood.
class Preprocessor {
 public:
  explicit Preprocessor(const std::vector<std::string>& include_dirs) : includeDirs_(include_dirs) {}

  void Read(const std::string& path, const std::string& included_at, int depth) {
    if (depth > 16) Fail(included_at, "includes nested too deep (an include of itself?)");
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(included_at, "cannot read " + path);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    // A byte-order mark says UTF-8, but the compiler decodes texts by the code
    // page pragma alone: the mark itself is no part of the script.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

    const std::size_t outer_conditions = conditions_.size();
    for (const Line& line : LogicalLines(path, text)) {
      const std::string where = Where(path, line.number);
      std::vector<Token> tokens = Tokenize(line.text, where);
      if (tokens.empty()) continue;
      if (IsPunct(tokens[0], '#')) {
        Directive(tokens, path, where, depth);
      } else if (Active()) {
        std::vector<Token> expanded = Expand({tokens.begin(), tokens.end()});
        output.insert(output.end(), expanded.begin(), expanded.end());
      }
    }
    if (conditions_.size() != outer_conditions) Fail(Where(path, 1), "an #ifdef without its #endif");
  }

  std::vector<Token> output;

 private:
  struct Condition {
    bool outer_active;  // the text around the #ifdef is read
    bool taken;         // a branch of it has been read
    bool active;        // the branch now is read
    bool else_seen;
  };

  bool Active() const { return conditions_.empty() || conditions_.back().active; }

  void Directive(const std::vector<Token>& tokens, const std::string& path, const std::string& where, int depth) {
    if (tokens.size() < 2) return;  // a lone "#" does nothing
    if (tokens[1].kind != Token::ident) Fail(where, "not a directive");
    const std::string& name = tokens[1].text;
    const auto word = [&](std::size_t i) -> const Token& {
      if (i >= tokens.size() || tokens[i].kind != Token::ident) Fail(where, "#" + name + " needs a name");
      return tokens[i];
    };
    if (name == "ifdef" || name == "ifndef") {
      const bool defined = Active() && macros_.count(word(2).text) > 0;
      const bool take = Active() && (name == "ifdef" ? defined : !defined);
      conditions_.push_back({Active(), take, take, false});
      return;
    }
    if (name == "if" || name == "elif") {
      // Another conditional's expression is not evaluated; inside a branch that
      // is not read it only has to be matched with its #endif.
      if (name == "if" && !Active()) {
        conditions_.push_back({false, true, false, false});
        return;
      }
      if (name == "elif" && !conditions_.empty() && !conditions_.back().outer_active) return;
      Fail(where, "#" + name + ": not read (only #ifdef and #ifndef are)");
    }
    if (name == "else") {
      if (conditions_.empty() || conditions_.back().else_seen) Fail(where, "#else without #ifdef");
      Condition& c = conditions_.back();
      c.active = c.outer_active && !c.taken;
      c.taken = true;
      c.else_seen = true;
      return;
    }
    if (name == "endif") {
      if (conditions_.empty()) Fail(where, "#endif without #ifdef");
      conditions_.pop_back();
      return;
    }
    if (!Active()) return;
    if (name == "include") {
      if (tokens.size() > 2 && IsPunct(tokens[2], '<')) return;  // a system header: not read
      if (tokens.size() != 3 || tokens[2].kind != Token::string) Fail(where, "#include needs a quoted file name");
      Read(Find(tokens[2].text, path, where), where, depth + 1);
    } else if (name == "define") {
      Macro macro;
      std::size_t i = 3;
      // A parenthesis right after the name, without a blank, makes a macro with
      // parameters.
      if (i < tokens.size() && IsPunct(tokens[i], '(') && !tokens[i].space_before) {
        macro.function_like = true;
        for (++i; i < tokens.size() && !IsPunct(tokens[i], ')'); ++i) {
          if (IsPunct(tokens[i], ',')) continue;
          if (tokens[i].kind != Token::ident) Fail(where, "a parameter that is not a name");
          macro.params.push_back(tokens[i].text);
        }
        if (i == tokens.size()) Fail(where, "the parameters of a macro not closed");
        ++i;
      }
      macro.body.assign(tokens.begin() + static_cast<std::ptrdiff_t>(std::min(i, tokens.size())), tokens.end());
      for (const Token& t : macro.body)
        if (IsPunct(t, '#')) Fail(where, "# and ## in a macro: not read");
      macros_[word(2).text] = std::move(macro);
    } else if (name == "undef") {
      macros_.erase(word(2).text);
    } else if (name == "pragma") {
      if (tokens.size() > 2 && tokens[2].kind == Token::ident && tokens[2].text == "code_page") {
        if (tokens.size() != 6 || !IsPunct(tokens[3], '(') || !IsPunct(tokens[5], ')'))
          Fail(where, "#pragma code_page needs one code page in parentheses");
        Token page = tokens[4];
        page.kind = Token::code_page;
        output.push_back(std::move(page));
      }
      // Other pragmas are the preprocessor's own business.
    } else if (name == "error") {
      Fail(where, "#error in the script");
    } else {
      Fail(where, "#" + name + ": not read");
    }
  }

  std::string Find(const std::string& name, const std::string& including, const std::string& where) const {
    std::vector<fs::path> folders{fs::path(including).parent_path()};
    for (const std::string& dir : includeDirs_) folders.emplace_back(dir);
    for (const fs::path& folder : folders) {
      const fs::path candidate = folder / name;
      if (fs::is_regular_file(candidate)) return candidate.string();
    }
    Fail(where, "the included file " + name + " is found in none of the include folders");
  }

  // Macro expansion with a set of macros hidden in each token (Prosser's
  // algorithm, simplified: a call's result hides the macro called). A macro's
  // expansion is rescanned together with the rest of the line, as in C; a call's
  // arguments end on the line of the call.
  std::vector<Token> Expand(std::deque<Token> input) {
    std::vector<Token> out;
    while (!input.empty()) {
      Token t = std::move(input.front());
      input.pop_front();
      const auto found = t.kind == Token::ident ? macros_.find(t.text) : macros_.end();
      if (found == macros_.end() || t.hidden.count(t.text)) {
        out.push_back(std::move(t));
        continue;
      }
      const Macro& macro = found->second;
      std::vector<Token> replacement;
      if (!macro.function_like) {
        replacement = macro.body;
      } else {
        if (input.empty() || !IsPunct(input.front(), '(')) {
          out.push_back(std::move(t));  // the name alone is no call
          continue;
        }
        input.pop_front();
        std::vector<std::vector<Token>> args(1);
        for (int nesting = 0;;) {
          if (input.empty()) Fail(t.where, "the call of " + t.text + " does not end on its line");
          Token a = std::move(input.front());
          input.pop_front();
          if (IsPunct(a, ')') && nesting == 0) break;
          if (IsPunct(a, ',') && nesting == 0) {
            args.emplace_back();
            continue;
          }
          if (IsPunct(a, '(')) ++nesting;
          if (IsPunct(a, ')')) --nesting;
          args.back().push_back(std::move(a));
        }
        if (macro.params.empty() && args.size() == 1 && args[0].empty()) args.clear();
        if (args.size() != macro.params.size())
          Fail(t.where, t.text + " takes " + std::to_string(macro.params.size()) + " arguments, given " +
                            std::to_string(args.size()));
        std::vector<std::vector<Token>> expanded;
        for (const std::vector<Token>& a : args) expanded.push_back(Expand({a.begin(), a.end()}));
        for (const Token& b : macro.body) {
          std::size_t p = 0;
          while (b.kind == Token::ident && p < macro.params.size() && macro.params[p] != b.text) ++p;
          if (b.kind == Token::ident && p < macro.params.size())
            replacement.insert(replacement.end(), expanded[p].begin(), expanded[p].end());
          else
            replacement.push_back(b);
        }
      }
      for (Token& r : replacement) {
        r.where = t.where;
        r.hidden.insert(t.hidden.begin(), t.hidden.end());
        r.hidden.insert(t.text);
      }
      input.insert(input.begin(), replacement.begin(), replacement.end());
    }
    return out;
  }

  std::vector<std::string> includeDirs_;
  std::map<std::string, Macro> macros_;
  std::vector<Condition> conditions_;
};

// The forms of the control statements: where their text and id stand, and the
// window class and style they imply.
enum class Layout { text_first, id_first, icon, control };

struct Form {
  const char* statement;
  Layout layout;
  const char* window_class;
  const char* implied_style;
};

constexpr Form kForms[] = {
    {"LTEXT", Layout::text_first, "Static", "SS_LEFT"},
    {"RTEXT", Layout::text_first, "Static", "SS_RIGHT"},
    {"CTEXT", Layout::text_first, "Static", "SS_CENTER"},
    {"GROUPBOX", Layout::text_first, "Button", "BS_GROUPBOX"},
    {"PUSHBUTTON", Layout::text_first, "Button", "BS_PUSHBUTTON"},
    {"DEFPUSHBUTTON", Layout::text_first, "Button", "BS_DEFPUSHBUTTON"},
    {"CHECKBOX", Layout::text_first, "Button", "BS_CHECKBOX"},
    {"AUTOCHECKBOX", Layout::text_first, "Button", "BS_AUTOCHECKBOX"},
    {"RADIOBUTTON", Layout::text_first, "Button", "BS_RADIOBUTTON"},
    {"AUTORADIOBUTTON", Layout::text_first, "Button", "BS_AUTORADIOBUTTON"},
    {"STATE3", Layout::text_first, "Button", "BS_3STATE"},
    {"AUTO3STATE", Layout::text_first, "Button", "BS_AUTO3STATE"},
    {"EDITTEXT", Layout::id_first, "Edit", nullptr},
    {"COMBOBOX", Layout::id_first, "ComboBox", nullptr},
    {"LISTBOX", Layout::id_first, "ListBox", nullptr},
    {"SCROLLBAR", Layout::id_first, "ScrollBar", nullptr},
    {"ICON", Layout::icon, "Static", "SS_ICON"},
    {"CONTROL", Layout::control, nullptr, nullptr},
};

// Window classes as the system spells them; a CONTROL statement may name them in
// any case, by the script's keyword, or by the system header's name.
constexpr const char* kClasses[] = {"Button", "Edit", "Static", "ComboBox", "ListBox", "ScrollBar",
                                    "msctls_updown32"};
constexpr std::pair<const char*, const char*> kClassNames[] = {{"UPDOWN_CLASS", "msctls_updown32"}};

std::string ClassName(const std::string& name) {
  for (const char* known : kClasses)
    if (SameWord(name, known)) return known;
  return name;
}

// A number as the compiler reads it: decimal, or hexadecimal after 0x, with an
// optional L or U after it.
long long NumberOf(const Token& t) {
  std::string text = t.text;
  while (!text.empty() && (text.back() == 'L' || text.back() == 'l' || text.back() == 'U' || text.back() == 'u'))
    text.pop_back();
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const long long value = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (text.empty() || *end != '\0') Fail(t.where, "not a number: " + t.text);
  return value;
}

// An arithmetic argument (coordinates, ids): | & + - * / ~ and parentheses over
// numbers. A name left after the preprocessor is no number the script defined.
class Arithmetic {
 public:
  Arithmetic(const std::vector<Token>& tokens, const char* what) : t_(tokens), what_(what) {}

  int Value() {
    if (t_.empty()) Fail("?", std::string("no ") + what_);
    const long long v = Or();
    if (i_ != t_.size()) Fail(t_[i_].where, std::string(what_) + ": unexpected " + t_[i_].text);
    return static_cast<int>(v);
  }

 private:
  bool At(char c) const { return i_ < t_.size() && IsPunct(t_[i_], c); }
  long long Or() {
    long long v = And();
    while (At('|')) ++i_, v |= And();
    return v;
  }
  long long And() {
    long long v = Add();
    while (At('&')) ++i_, v &= Add();
    return v;
  }
  long long Add() {
    long long v = Mul();
    while (At('+') || At('-')) v = t_[i_++].text[0] == '+' ? v + Mul() : v - Mul();
    return v;
  }
  long long Mul() {
    long long v = Unary();
    while (At('*') || At('/')) {
      const bool times = t_[i_++].text[0] == '*';
      const long long w = Unary();
      if (!times && w == 0) Fail(t_[i_ - 1].where, std::string(what_) + ": a division by 0");
      v = times ? v * w : v / w;
    }
    return v;
  }
  long long Unary() {
    if (i_ >= t_.size()) Fail(t_.back().where, std::string(what_) + " cut short");
    const Token& t = t_[i_++];
    if (IsPunct(t, '-')) return -Unary();
    if (IsPunct(t, '~')) return ~Unary();
    if (IsPunct(t, '(')) {
      const long long v = Or();
      if (!At(')')) Fail(t.where, std::string(what_) + ": a parenthesis not closed");
      ++i_;
      return v;
    }
    if (t.kind == Token::number) return NumberOf(t);
    Fail(t.where, std::string(what_) + ": " + t.text + " is no number the script defines");
  }

  const std::vector<Token>& t_;
  const char* what_;
  std::size_t i_ = 0;
};

// The statements of the preprocessed script.
class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

  void Script(std::vector<Dialog>& dialogs) {
    while (Peek()) {
      if (AtWord("LANGUAGE")) {
        Take("LANGUAGE");
        Arguments();
        continue;
      }
      const Token name = Take("a resource");
      const Token* type = Peek();
      if (!type || type->kind != Token::ident || !(SameWord(type->text, "DIALOGEX") || SameWord(type->text, "DIALOG")))
        Fail(name.where, "a resource that is not a dialog (" + name.text + "): not read");
      Take("DIALOGEX");
      Dialog dialog;
      dialog.id = Arithmetic({name}, "the dialog's id").Value();
      dialog.where = name.where;
      const auto frame = Arguments();
      if (frame.size() != 4 && frame.size() != 5) Fail(name.where, "a dialog needs x, y, width and height");
      for (const auto& a : frame) Arithmetic(a, "the dialog's frame").Value();
      while (!AtWord("BEGIN") && !AtPunct('{')) {
        const Token option = Take("BEGIN");
        static constexpr const char* kOptions[] = {"STYLE", "EXSTYLE", "CAPTION", "FONT", "MENU",
                                                   "CLASS", "CHARACTERISTICS", "VERSION", "LANGUAGE"};
        bool known = false;
        for (const char* o : kOptions) known = known || (option.kind == Token::ident && SameWord(option.text, o));
        if (!known) Fail(option.where, "in a dialog's head: " + option.text);
        Arguments();
      }
      Take("BEGIN");
      while (!AtWord("END") && !AtPunct('}')) dialog.items.push_back(Control());
      Take("END");
      dialogs.push_back(std::move(dialog));
    }
  }

 private:
  using Argument = std::vector<Token>;

  // The next token, nullptr at the end. A code-page pragma on the way takes
  // effect here: before any text after it is decoded.
  const Token* Peek() {
    while (pos_ < tokens_.size() && tokens_[pos_].kind == Token::code_page) {
      const Token& page = tokens_[pos_++];
      if (page.text == "65001" || page.text == "1251")
        codePage_ = std::atoi(page.text.c_str());
      else
        Fail(page.where, "#pragma code_page(" + page.text + "): the reader knows 65001 (UTF-8) and 1251");
    }
    return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr;
  }

  Token Take(const char* expected) {
    if (!Peek()) Fail(tokens_.empty() ? "?" : tokens_.back().where, std::string("the script ends; expected ") + expected);
    Token t = tokens_[pos_++];
    if (t.kind == Token::string) t.text = Decode(t);
    return t;
  }

  bool AtWord(const char* word) {
    const Token* t = Peek();
    return t && t->kind == Token::ident && SameWord(t->text, word);
  }
  bool AtPunct(char c) {
    const Token* t = Peek();
    return t && IsPunct(*t, c);
  }

  // A text's bytes in the code page last named, as UTF-8.
  std::string Decode(const Token& t) const {
    std::string bytes;
    for (std::size_t i = 0; i < t.text.size(); ++i) {
      if (t.text[i] != '\\') {
        bytes += t.text[i];
        continue;
      }
      const char e = ++i < t.text.size() ? t.text[i] : '\0';
      switch (e) {
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case 'r': bytes += '\r'; break;
        case '\\': bytes += '\\'; break;
        case '"': bytes += '"'; break;
        default: Fail(t.where, std::string("the escape \\") + e + " in a text: not read");
      }
    }
    bool ascii = true;
    for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return bytes;
    if (codePage_ == 0)
      Fail(t.where, "a text with letters beyond ASCII before any #pragma code_page: the compiler would "
                    "read it in the build machine's code page");
    if (codePage_ == 1251) return Cp1251ToUtf8(bytes);
    // UTF-8: a malformed byte comes back as U+FFFD, which reads back different.
    if (wide_to_utf8(utf8_to_wide(bytes)) != bytes)
      Fail(t.where, "a text that is not UTF-8, though the code page is 65001");
    return bytes;
  }

  // One argument: values joined by operators. It ends where no operator follows a
  // value, which is where the next statement begins.
  Argument OneArgument() {
    Argument out;
    Operand(out);
    for (const Token* t = Peek(); t && t->kind == Token::punct && std::strchr("|&+-*/", t->text[0]); t = Peek()) {
      out.push_back(Take("an operator"));
      Operand(out);
    }
    return out;
  }

  void Operand(Argument& out) {
    const Token t = Take("a value");
    out.push_back(t);
    if (IsPunct(t, '(')) {
      const Argument inner = OneArgument();
      out.insert(out.end(), inner.begin(), inner.end());
      if (!AtPunct(')')) Fail(t.where, "a parenthesis not closed");
      out.push_back(Take(")"));
    } else if (IsPunct(t, '-') || IsPunct(t, '~') || (t.kind == Token::ident && SameWord(t.text, "NOT"))) {
      Operand(out);
    } else if (t.kind == Token::punct) {
      Fail(t.where, "unexpected " + t.text);
    }
  }

  std::vector<Argument> Arguments() {
    std::vector<Argument> args{OneArgument()};
    while (AtPunct(',')) {
      Take(",");
      args.push_back(OneArgument());
    }
    return args;
  }

  static std::string TextOf(const Argument& a) {
    if (a.size() == 1 && a[0].kind == Token::string) return a[0].text;
    if (a.size() == 1 && a[0].kind == Token::number) return "#" + std::to_string(NumberOf(a[0]));
    Fail(a.empty() ? "?" : a[0].where, "a control's text that is not one text");
  }

  static std::string ClassOf(const Argument& a) {
    if (a.size() == 1 && a[0].kind == Token::string) return ClassName(a[0].text);
    if (a.size() == 1 && a[0].kind == Token::ident) {
      for (const auto& [name, cls] : kClassNames)
        if (a[0].text == name) return cls;
      for (const char* known : kClasses)
        if (SameWord(a[0].text, known)) return known;
    }
    Fail(a.empty() ? "?" : a[0].where, "a window class the reader does not know");
  }

  // Style names joined by |, in parentheses or not; "NOT X" takes X out.
  static void AddStyles(const Argument& a, std::set<std::string>& styles) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      const Token& t = a[i];
      if (IsPunct(t, '|') || IsPunct(t, '(') || IsPunct(t, ')')) continue;
      if (t.kind == Token::ident && SameWord(t.text, "NOT")) {
        if (++i >= a.size() || a[i].kind == Token::punct) Fail(t.where, "NOT needs a style name");
        styles.erase(a[i].text);
      } else if (t.kind == Token::ident || t.kind == Token::number) {
        styles.insert(t.text);
      } else {
        Fail(t.where, "a style that is not names joined by |: " + t.text);
      }
    }
  }

  Item Control() {
    const Token word = Take("a control or END");
    const Form* form = nullptr;
    for (const Form& f : kForms)
      if (word.kind == Token::ident && SameWord(word.text, f.statement)) form = &f;
    if (!form) Fail(word.where, "a control statement the reader does not know: " + word.text);
    const std::vector<Argument> args = Arguments();
    Item item;
    item.statement = form->statement;
    item.where = word.where;
    if (form->implied_style) item.styles.insert(form->implied_style);
    if (form->window_class) item.window_class = form->window_class;
    const auto need = [&](std::size_t least, std::size_t most) {
      if (args.size() < least || args.size() > most)
        Fail(word.where, std::string(form->statement) + " takes " + std::to_string(least) + " to " +
                             std::to_string(most) + " arguments, given " + std::to_string(args.size()));
    };
    const auto number = [](const Argument& a, const char* what) { return Arithmetic(a, what).Value(); };
    const auto rect = [&](std::size_t first, bool size) {
      item.rect = {number(args[first], "x"), number(args[first + 1], "y"),
                   size ? number(args[first + 2], "width") : 0, size ? number(args[first + 3], "height") : 0};
    };
    std::size_t style = 0;  // where the style stands; 0: nowhere
    switch (form->layout) {
      case Layout::text_first:  // text, id, x, y, cx, cy [, style [, exstyle [, help id]]]
        need(6, 9);
        item.text = TextOf(args[0]);
        item.id = number(args[1], "id");
        rect(2, true);
        style = 6;
        break;
      case Layout::id_first:  // id, x, y, cx, cy [, style [, exstyle [, help id]]]
        need(5, 8);
        item.id = number(args[0], "id");
        rect(1, true);
        style = 5;
        break;
      case Layout::icon:  // icon, id, x, y [, cx, cy [, style [, exstyle]]]
        need(4, 8);
        item.text = TextOf(args[0]);
        item.id = number(args[1], "id");
        rect(2, args.size() >= 6);
        style = 6;
        break;
      case Layout::control:  // text, id, class, style, x, y, cx, cy [, exstyle [, help id]]
        need(8, 10);
        item.text = TextOf(args[0]);
        item.id = number(args[1], "id");
        item.window_class = ClassOf(args[2]);
        AddStyles(args[3], item.styles);
        rect(4, true);
        break;
    }
    if (style && args.size() > style) AddStyles(args[style], item.styles);
    return item;
  }

  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
  int codePage_ = 0;  // none named yet
};

}  // namespace

bool ReadScript(const std::string& path, const std::vector<std::string>& include_dirs,
                std::vector<Dialog>& dialogs, std::string& error) {
  try {
    Preprocessor preprocessor(include_dirs);
    preprocessor.Read(path, path, 0);
    std::vector<Dialog> read;
    Parser(preprocessor.output).Script(read);
    dialogs.insert(dialogs.end(), read.begin(), read.end());
    return true;
  } catch (const Failure& failure) {
    error = failure.message;
    return false;
  }
}

}  // namespace rc_script
