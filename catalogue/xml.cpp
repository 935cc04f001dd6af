#include "catalogue/xml.h"

#include <cwchar>

namespace {

// White space of text values: space, tab, line feed, vertical tab, form feed and
// carriage return.
inline bool IsWhite(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r');
}

inline bool IsBlankText(std::wstring_view text) {
  for (wchar_t c : text)
    if (!IsWhite(c)) return false;
  return true;
}

// Skips the space character only.
inline const wchar_t* SkipBlanks(const wchar_t* p, const wchar_t* end) {
  while (p != end && *p == L' ') ++p;
  return p;
}

inline const wchar_t* FindChar(const wchar_t* p, const wchar_t* end, wchar_t c) {
  if (p >= end) return nullptr;
  return std::wmemchr(p, c, static_cast<size_t>(end - p));
}

template <typename Pred>
inline const wchar_t* FindIf(const wchar_t* p, const wchar_t* end, Pred pred) {
  for (; p < end; ++p)
    if (pred(*p)) return p;
  return nullptr;
}

// Sets field from [begin, end): with trimming, white space is dropped from both
// ends and a range that is empty after that leaves the field as it was.
void SetText(std::wstring& field, const wchar_t* begin, const wchar_t* end, bool trim) {
  if (trim) {
    while (begin != end && IsWhite(*begin)) ++begin;
    while (end != begin && IsWhite(end[-1])) --end;
    if (begin == end) return;
  }
  field.assign(begin, end);
}

// Whether the text holds the first character of any reference of the table; most
// values hold none and need no decoding pass.
bool MayHoldReference(const XmlEntityTable& table, const std::wstring& text) {
  wchar_t last = 0;
  for (const XmlEntity& e : table.entries) {
    if (e.length <= 0 || e.reference[0] == last) continue;
    last = e.reference[0];
    if (text.find(last) != std::wstring::npos) return true;
  }
  return false;
}

// Sets a text value, decoding entity references when asked.
void SetValue(std::wstring& field, const wchar_t* begin, const wchar_t* end, const XmlParseInfo& info) {
  SetText(field, begin, end, info.trimValues);
  if (info.decodeEntities && info.entities && MayHoldReference(*info.entities, field))
    field = DecodeEntities(*info.entities, field);
}

void RecordError(XmlParseInfo& info, const wchar_t* pos, int code, std::wstring text) {
  if (info.errorOccurred) return;
  info.errorOccurred = true;
  info.errorPosition = pos;
  info.errorCode = code;
  info.errorText = std::move(text);
}

// Reads the attributes of a start tag from pos. Returns the position of the ">",
// "/" or (in a declaration) "?" that ends them, or nullptr.
const wchar_t* ParseAttributes(XmlNode& node, const wchar_t* pos, const wchar_t* end, XmlParseInfo& info,
                               bool isDeclaration) {
  while (pos != end) {
    for (;;) {
      pos = SkipBlanks(pos, end);
      if (pos != end && (*pos == L'>' || *pos == L'/' || (isDeclaration && *pos == L'?'))) return pos;
      const wchar_t* nameEnd = FindIf(pos, end, [](wchar_t c) { return c == L' ' || c == L'='; });
      if (!nameEnd) {
        RecordError(info, pos, kXmlAttributeError, L"<" + node.name + L"> attribute has error ");
        return nullptr;
      }
      auto attr = std::make_unique<XmlAttr>();
      attr->parent = &node;
      attr->name.assign(pos, nameEnd);
      XmlAttr& a = *attr;
      node.attributes.push_back(std::move(attr));
      pos = SkipBlanks(nameEnd, end);
      if (pos == end || *pos != L'=') continue;  // an attribute without a value

      pos = SkipBlanks(pos + 1, end);
      const wchar_t* valueEnd;
      if (pos != end && (*pos == L'"' || *pos == L'\'')) {
        const wchar_t* close = FindChar(pos + 1, end, *pos);
        if (!close) {
          // A quoted value whose closing quote never comes.
          RecordError(info, pos, kXmlAttributeError, L"<" + node.name + L"> attribute has error ");
          return nullptr;
        }
        SetValue(a.value, pos + 1, close, info);
        valueEnd = close + 1;
      } else {
        const wchar_t* stop = FindIf(pos, end, [](wchar_t c) { return c == L' ' || c == L'>'; });
        valueEnd = stop ? stop : end;
        SetValue(a.value, pos, valueEnd, info);
      }
      pos = valueEnd;
      break;
    }
  }
  return nullptr;
}

std::wstring MustBeClosed(const std::wstring& name) {
  return name + L" must be closed with </" + name + L">";
}

std::wstring ItMustBeClosed(const std::wstring& name) {
  return L"it must be closed with </" + name + L">";
}

// The text from `from` up to the next '<' becomes the node's value; answers that
// '<', or nullptr with the error recorded (its text made by `mustBeClosed`) when
// the text ends first.
const wchar_t* TakeValueText(XmlNode& node, const wchar_t* from, const wchar_t* end,
                             XmlParseInfo& info,
                             std::wstring (*mustBeClosed)(const std::wstring&)) {
  const wchar_t* lt = FindChar(from, end, L'<');
  if (!lt) {
    RecordError(info, from, kXmlMissingClosingTag, mustBeClosed(node.name));
    return nullptr;
  }
  SetValue(node.value, from, lt, info);
  return lt;
}

const wchar_t* ParseContent(XmlNode& node, const wchar_t* pos, const wchar_t* end, XmlParseInfo& info) {
  // The content begins after ">": the text before the first child.
  bool valueBlank = IsBlankText(node.value);
  if (valueBlank) {
    pos = TakeValueText(node, pos, end, info, MustBeClosed);
    if (!pos) return nullptr;
    valueBlank = IsBlankText(node.value);
  }

  while (pos != end) {
    auto child = std::make_unique<XmlNode>();
    child->parent = &node;
    const wchar_t* r = ParseElement(*child, pos, end, info, false);
    if (!child->name.empty()) node.children.push_back(std::move(child));
    if (!r) return nullptr;

    if (end - r >= 2 && r[0] == L'<' && r[1] == L'/') {
      const wchar_t* s = SkipBlanks(r + 2, end);
      const wchar_t* e = FindIf(s, end, [](wchar_t c) { return c == L' ' || c == L'>'; });
      if (!e) {
        RecordError(info, s, kXmlMissingClosingTag, ItMustBeClosed(node.name));
        return nullptr;
      }
      const std::wstring_view closing(s, static_cast<size_t>(e - s));
      if (closing == node.name) return e + 1;
      RecordError(info, e + 1, kXmlMismatchedClosingTag,
                  L"'<" + node.name + L"> ... </" + std::wstring(closing) + L">' is not wel-formed.");
      return nullptr;
    }

    if (r == end) break;  // a complete child and then the end of the text
    if (!valueBlank || *r == L'<') {
      pos = r;
      continue;
    }
    // Text between children, while the value is still blank.
    pos = TakeValueText(node, r, end, info, ItMustBeClosed);
    if (!pos) return nullptr;
    valueBlank = IsBlankText(node.value);
  }
  // The text ended inside the content: the element counts as complete.
  return end;
}

}  // namespace

const XmlEntityTable& DefaultEntityTable() {
  static const XmlEntityTable table{{
      {L'&', L"&amp;", 5},
      {L'"', L"&quot;", 6},
      {L'\'', L"&apos;", 6},
      {L'<', L"&lt;", 4},
      {L'>', L"&gt;", 4},
  }};
  return table;
}

const wchar_t* ParseElement(XmlNode& node, const wchar_t* pos, const wchar_t* end, XmlParseInfo& info,
                            bool allowDeclaration) {
  Clear(node);
  // A reused node starts each element without the name and text of the one
  // before: a stale value would be reported for an element that has none.
  node.name.clear();
  node.value.clear();
  if (!pos || !end || pos >= end) return nullptr;

  const wchar_t* lt = FindChar(pos, end, L'<');
  if (!lt) return nullptr;
  if (end - lt >= 2 && lt[1] == L'/') return lt;

  const bool declaration = allowDeclaration && end - lt >= 2 && lt[1] == L'?';
  info.isDeclaration = declaration;
  const wchar_t* nameStart = lt + (declaration ? 2 : 1);
  const wchar_t* nameEnd = FindIf(nameStart, end, [](wchar_t c) {
    return c == L' ' || c == L'\n' || c == L'\r' || c == L'\t' || c == L'/' || c == L'>';
  });
  if (!nameEnd) return nullptr;
  node.name.assign(nameStart, nameEnd);

  const wchar_t* p = ParseAttributes(node, nameEnd, end, info, declaration);
  if (!p) return nullptr;

  if (*p == L'/' || (declaration && *p == L'?')) {
    if (end - p >= 2 && p[1] == L'>') return p + 2;
    RecordError(info, p + 1, kXmlElementNotClosed, L"Element must be closed.");
    return nullptr;
  }

  // At ">": the element has content. Bound the nesting so that a hostile file
  // cannot exhaust the stack.
  if (info.depth >= info.maxDepth) {
    RecordError(info, p, kXmlTooDeep, L"<" + node.name + L"> is nested too deeply.");
    return nullptr;
  }
  ++info.depth;
  const wchar_t* r = ParseContent(node, p + 1, end, info);
  --info.depth;
  return r;
}

const XmlAttr* FindAttr(const XmlNode& node, std::wstring_view name) {
  for (const auto& a : node.attributes)
    if (a->name == name) return a.get();
  return nullptr;
}

const std::wstring* AttrValue(const XmlNode& node, std::wstring_view name) {
  const XmlAttr* a = FindAttr(node, name);
  return a ? &a->value : nullptr;
}

bool AttrValueTrimmed(const XmlNode& node, std::wstring_view name, std::wstring& out) {
  const XmlAttr* a = FindAttr(node, name);
  if (!a) return false;
  const std::wstring& v = a->value;
  size_t b = 0, e = v.size();
  while (b < e && IsWhite(v[b])) ++b;
  while (e > b && IsWhite(v[e - 1])) --e;
  out.assign(v, b, e - b);
  return true;
}

std::vector<XmlNode*> Children(const XmlNode& node) {
  std::vector<XmlNode*> list;
  list.reserve(node.children.size());
  for (const auto& c : node.children) list.push_back(c.get());
  return list;
}

void Clear(XmlNode& node) {
  node.children.clear();
  node.attributes.clear();
}

std::wstring DecodeEntities(const XmlEntityTable& table, std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    for (const XmlEntity& e : table.entries) {
      // A reference holds at most 10 characters; a longer length is no reference.
      const auto len = static_cast<size_t>(e.length);
      if (len > 0 && len <= 10 && text[i] == e.reference[0] && len <= text.size() - i &&
          text.compare(i, len, e.reference, len) == 0) {
        out += e.character;
        i += len;
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      out += text[i];
      ++i;
    }
  }
  return out;
}
