#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/xml.h"
#include "common/code_pages.h"

namespace {

std::string U8(const std::wstring& s) { return WideToUtf8(s); }

// One parse of a whole text with the catalogue's options unless told otherwise.
struct Parse {
  explicit Parse(std::wstring t, bool allowDeclaration = false, bool trim = true, bool decode = true)
      : text(std::move(t)) {
    info.trimValues = trim;
    info.decodeEntities = decode;
    const wchar_t* r = ParseElement(node, text.data(), text.data() + text.size(), info, allowDeclaration);
    returned = r ? r - text.data() : -1;
  }
  long errorOffset() const { return info.errorPosition ? info.errorPosition - text.data() : -1; }

  std::wstring text;
  XmlNode node;
  XmlParseInfo info;
  long returned;
};

struct Case {
  const wchar_t* text;
  long returned;  // offset of the returned position, -1 for none
  int errorCode;  // 0: no error recorded
  long errorOffset;
  const wchar_t* errorText;
  const wchar_t* name;
  const wchar_t* value;
  size_t children;
};

const Case kCases[] = {
    // Empty elements.
    {L"<a/>", 4, 0, -1, L"", L"a", L"", 0},
    {L"<a x='1'/>tail", 10, 0, -1, L"", L"a", L"", 0},
    {L"<a/ >", -1, 1, 3, L"Element must be closed.", L"a", L"", 0},
    {L"<a/", -1, 1, 3, L"Element must be closed.", L"a", L"", 0},
    // Closing tags.
    {L"<a></b>", -1, 3, 7, L"'<a> ... </b>' is not wel-formed.", L"a", L"", 0},
    {L"<a></a >x", 7, 0, -1, L"", L"a", L"", 0},
    {L"<a></ a>", 8, 0, -1, L"", L"a", L"", 0},
    {L"<a></A>", -1, 3, 7, L"'<a> ... </A>' is not wel-formed.", L"a", L"", 0},
    {L"<a></a", -1, 2, 5, L"it must be closed with </a>", L"a", L"", 0},
    {L"  </a>", 2, 0, -1, L"", L"", L"", 0},
    // Text values.
    {L"<a>  x y  </a>", 14, 0, -1, L"", L"a", L"x y", 0},
    {L"<a>\t\r\n x \n</a>", 14, 0, -1, L"", L"a", L"x", 0},
    {L"<a>x<b/>y</a>", 13, 0, -1, L"", L"a", L"x", 1},
    {L"<a> <b/>y</a>", 13, 0, -1, L"", L"a", L"y", 1},
    {L"<a><b/><c/> y <d/>z</a>", 23, 0, -1, L"", L"a", L"y", 3},
    {L"<a>text", -1, 2, 3, L"a must be closed with </a>", L"a", L"", 0},
    {L"<a><b/>", 7, 0, -1, L"", L"a", L"", 1},
    {L"<a><b/>text", -1, 2, 7, L"it must be closed with </a>", L"a", L"", 1},
    {L"<a><b>x</b><c>y</c></a>", 23, 0, -1, L"", L"a", L"", 2},
    {L"<a><b></c></a>", -1, 3, 10, L"'<b> ... </c>' is not wel-formed.", L"a", L"", 1},
    // Attributes.
    {L"<a b", -1, 4, 3, L"<a> attribute has error ", L"a", L"", 0},
    {L"<a ", -1, 4, 3, L"<a> attribute has error ", L"a", L"", 0},
    {L"<a b='1' ", -1, 4, 9, L"<a> attribute has error ", L"a", L"", 0},
    {L"<a b=\"x", -1, 4, 5, L"<a> attribute has error ", L"a", L"", 0},
    {L"<a b='1'", -1, 0, -1, L"", L"a", L"", 0},
    {L"<a b=x", -1, 0, -1, L"", L"a", L"", 0},
    // No element, or a name that runs to the end.
    {L"", -1, 0, -1, L"", L"", L"", 0},
    {L"just text", -1, 0, -1, L"", L"", L"", 0},
    {L"<abc", -1, 0, -1, L"", L"", L"", 0},
    {L"<", -1, 0, -1, L"", L"", L"", 0},
};

TEST(XmlReader, ParseElementCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(U8(c.text));
    Parse p(c.text);
    EXPECT_EQ(p.returned, c.returned);
    EXPECT_EQ(p.info.errorOccurred, c.errorCode != 0);
    EXPECT_EQ(p.info.errorCode, c.errorCode);
    EXPECT_EQ(p.errorOffset(), c.errorOffset);
    EXPECT_EQ(U8(p.info.errorText), U8(c.errorText));
    EXPECT_EQ(U8(p.node.name), U8(c.name));
    EXPECT_EQ(U8(p.node.value), U8(c.value));
    EXPECT_EQ(p.node.children.size(), c.children);
  }
}

TEST(XmlReader, TreeHasParentsAndDocumentOrder) {
  Parse p(L"<kv4t><device name='A' description='d'><version name='1'/><version name='2'/></device>"
          L"<other/></kv4t>");
  ASSERT_EQ(p.returned, static_cast<long>(p.text.size()));
  const std::vector<XmlNode*> top = Children(p.node);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0]->name, L"device");
  EXPECT_EQ(top[1]->name, L"other");
  EXPECT_EQ(top[0]->parent, &p.node);
  const std::vector<XmlNode*> versions = Children(*top[0]);
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(*AttrValue(*versions[0], L"name"), L"1");
  EXPECT_EQ(*AttrValue(*versions[1], L"name"), L"2");
  EXPECT_EQ(versions[1]->parent, top[0]);
  EXPECT_EQ(versions[1]->attributes[0]->parent, versions[1]);
  EXPECT_EQ(p.node.parent, nullptr);
}

TEST(XmlReader, AttributeValuesAndLookups) {
  Parse p(L"<a n=\"1\" n='2' N=3 empty='' spaced=\"  s p  \" q='it\"s' flag other = 'x'>v</a>");
  ASSERT_FALSE(p.info.errorOccurred);
  ASSERT_EQ(p.node.attributes.size(), 8u);
  EXPECT_EQ(*AttrValue(p.node, L"n"), L"1");  // the first of two
  EXPECT_EQ(*AttrValue(p.node, L"N"), L"3");  // case-sensitive
  EXPECT_EQ(*AttrValue(p.node, L"empty"), L"");
  EXPECT_EQ(*AttrValue(p.node, L"spaced"), L"s p");  // trimValues
  EXPECT_EQ(*AttrValue(p.node, L"q"), L"it\"s");
  EXPECT_EQ(*AttrValue(p.node, L"flag"), L"");
  EXPECT_EQ(*AttrValue(p.node, L"other"), L"x");
  EXPECT_EQ(AttrValue(p.node, L"missing"), nullptr);
  EXPECT_EQ(FindAttr(p.node, L"n"), p.node.attributes[0].get());

  Parse raw(L"<a v=' x '/>", false, false, false);
  EXPECT_EQ(*AttrValue(raw.node, L"v"), L" x ");
  std::wstring out = L"old";
  EXPECT_TRUE(AttrValueTrimmed(raw.node, L"v", out));
  EXPECT_EQ(out, L"x");
  EXPECT_FALSE(AttrValueTrimmed(raw.node, L"w", out));
}

TEST(XmlReader, LineBreakOrTabBetweenAttributesMakesAnExtraNamelessOne) {
  for (const wchar_t* text : {L"<a x=\"1\" \n y=\"2\"/>", L"<a x=\"1\" \t y=\"2\"/>"}) {
    Parse p(text);
    EXPECT_EQ(p.returned, static_cast<long>(p.text.size()));
    ASSERT_EQ(p.node.attributes.size(), 3u);
    EXPECT_EQ(p.node.attributes[1]->name, std::wstring(1, text[9]));
    EXPECT_EQ(p.node.attributes[1]->value, L"");
    EXPECT_EQ(*AttrValue(p.node, L"x"), L"1");
    EXPECT_EQ(*AttrValue(p.node, L"y"), L"2");
  }
}

TEST(XmlReader, EntityReferences) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"&lt;&amp;&amp;", L"<&&"},
      {L"a &quot;b&quot; &apos;c&apos; &gt;", L"a \"b\" 'c' >"},
      {L"&LT; &#60; &#x3C; &amp &amp;amp;", L"&LT; &#60; &#x3C; &amp &amp;"},
      {L"&", L"&"},
      {L"x&l", L"x&l"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.in));
    EXPECT_EQ(DecodeEntities(DefaultEntityTable(), c.in), c.out);
    Parse p(std::wstring(L"<a v='") + c.in + L"'>" + c.in + L"</a>");
    EXPECT_EQ(*AttrValue(p.node, L"v"), c.out);
    EXPECT_EQ(p.node.value, Parse(std::wstring(L"<a>") + c.in + L"</a>").node.value);
  }
  Parse undecoded(L"<a v='&lt;'>&amp;</a>", false, true, false);
  EXPECT_EQ(*AttrValue(undecoded.node, L"v"), L"&lt;");
  EXPECT_EQ(undecoded.node.value, L"&amp;");

  // A table of the caller's own: references need not begin with "&", and a length
  // beyond the 10 characters a reference holds matches nothing.
  const XmlEntityTable own{{{L'\u00A9', L"(c)", 3}, {L'-', L"--", 2}, {L'!', L"&amp;", 40}}};
  EXPECT_EQ(DecodeEntities(own, L"(c) a--b &amp; (C)"), L"\u00A9 a-b &amp; (C)");
  const std::wstring text = L"<a v='x--y'>(c)</a>";
  XmlNode node;
  XmlParseInfo info;
  info.decodeEntities = true;
  info.entities = &own;
  ParseElement(node, text.data(), text.data() + text.size(), info, false);
  EXPECT_EQ(*AttrValue(node, L"v"), L"x-y");
  EXPECT_EQ(node.value, L"\u00A9");

  const XmlEntityTable& table = DefaultEntityTable();
  ASSERT_EQ(table.entries.size(), 5u);
  EXPECT_EQ(table.entries[1].character, L'"');
  EXPECT_EQ(std::wstring(table.entries[1].reference), L"&quot;");
  EXPECT_EQ(table.entries[1].length, 6);
}

TEST(XmlReader, Declaration) {
  const std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KV4T/>";
  Parse p(text, true);
  EXPECT_TRUE(p.info.isDeclaration);
  EXPECT_EQ(p.node.name, L"xml");
  ASSERT_EQ(p.node.attributes.size(), 2u);
  EXPECT_EQ(*AttrValue(p.node, L"encoding"), L"UTF-8");
  EXPECT_EQ(p.returned, static_cast<long>(text.find(L'\n')));
  EXPECT_FALSE(p.info.errorOccurred);

  Parse notAllowed(text, false);
  EXPECT_FALSE(notAllowed.info.isDeclaration);
  EXPECT_EQ(notAllowed.node.name, L"?xml");

  Parse unclosed(L"<?xml version='1.0'?", true);
  EXPECT_EQ(unclosed.returned, -1);
  EXPECT_EQ(unclosed.info.errorCode, 1);
}

TEST(XmlReader, FirstErrorStays) {
  XmlNode node;
  XmlParseInfo info;
  const std::wstring first = L"<a/ >", second = L"<a></b>";
  ParseElement(node, first.data(), first.data() + first.size(), info, false);
  ParseElement(node, second.data(), second.data() + second.size(), info, false);
  EXPECT_EQ(info.errorCode, 1);
  EXPECT_EQ(info.errorText, L"Element must be closed.");
  EXPECT_EQ(info.errorPosition, first.data() + 3);
}

TEST(XmlReader, ReusedNodeStartsEachElementAfresh) {
  const std::wstring text = L"<a k='1'>text<c/></a><b/>";
  XmlNode node;
  XmlParseInfo info;
  info.trimValues = true;
  const wchar_t* end = text.data() + text.size();
  const wchar_t* pos = ParseElement(node, text.data(), end, info, true);
  ASSERT_NE(pos, nullptr);
  EXPECT_EQ(node.value, L"text");
  pos = ParseElement(node, pos, end, info, false);
  EXPECT_EQ(pos, end);
  EXPECT_EQ(node.name, L"b");
  EXPECT_EQ(node.value, L"");
  EXPECT_TRUE(node.children.empty());
  EXPECT_TRUE(node.attributes.empty());

  node.value = L"kept";
  node.children.push_back(std::make_unique<XmlNode>());
  node.attributes.push_back(std::make_unique<XmlAttr>());
  Clear(node);
  EXPECT_EQ(node.name, L"b");
  EXPECT_EQ(node.value, L"kept");
  EXPECT_TRUE(node.children.empty());
  EXPECT_TRUE(node.attributes.empty());
}

TEST(XmlReader, DeepNestingIsRefusedNotFollowed) {
  std::wstring text;
  for (int i = 0; i < 100000; ++i) text += L"<a>";
  Parse p(text);
  EXPECT_EQ(p.returned, -1);
  EXPECT_EQ(p.info.errorCode, 5);
  EXPECT_EQ(p.info.depth, 0);

  std::wstring allowed;
  for (int i = 0; i < 200; ++i) allowed += L"<a>";
  for (int i = 0; i < 200; ++i) allowed += L"</a>";
  Parse q(allowed);
  EXPECT_EQ(q.returned, static_cast<long>(allowed.size()));
  EXPECT_FALSE(q.info.errorOccurred);
}

// Every cut of a document is parsed within the cut: the text is copied into a
// buffer of exactly that length so that the sanitizers see any read past it.
TEST(XmlReader, NeverReadsPastTheEndOfTheText) {
  const std::wstring doc =
      L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KV4T>\n <device name=\"ZR-40\" description='d &amp; e'"
      L" pollmin=2>\n  <version name = \"A\" description=\"x\" flags=15 />\n text &lt; more\n </device>\n"
      L"</KV4T >\n<z a='b'/>";
  for (size_t len = 0; len <= doc.size(); ++len) {
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[len ? len : 1]);
    std::copy(doc.begin(), doc.begin() + static_cast<long>(len), buffer.get());
    const wchar_t* end = buffer.get() + len;
    XmlNode node;
    XmlParseInfo info;
    info.trimValues = info.decodeEntities = true;
    const wchar_t* pos = buffer.get();
    bool first = true;
    int elements = 0;
    while (pos && pos != end && !info.errorOccurred && elements < 100) {
      const wchar_t* next = ParseElement(node, pos, end, info, first);
      if (next) {
        ASSERT_GE(next, buffer.get());
        ASSERT_LE(next, end);
        if (next == pos) break;
      }
      pos = next;
      first = false;
      ++elements;
    }
    if (len == doc.size()) {
      EXPECT_FALSE(info.errorOccurred);
      EXPECT_EQ(elements, 3);
    }
  }
}

}  // namespace
