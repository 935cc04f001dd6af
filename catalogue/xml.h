// A small, non-validating XML reader for the instrument description files. It knows
// elements, attributes, text values, one leading declaration ("<?xml ... ?>") and
// the five named entity references; comments, CDATA sections, document type
// declarations and character references are not understood. It works directly on
// the caller's wide text, between a start and an end pointer, and never reads past
// the end.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct XmlNode;

struct XmlAttr {
  std::wstring name;
  std::wstring value;
  XmlNode* parent = nullptr;  // the owning node
};

// One element. Destroying a node destroys its children and attributes.
struct XmlNode {
  std::wstring name;
  std::wstring value;  // the first non-blank run of text among the content
  XmlNode* parent = nullptr;  // not owned; nullptr for the node the caller made
  std::vector<std::unique_ptr<XmlNode>> children;   // document order
  std::vector<std::unique_ptr<XmlAttr>> attributes;  // document order; names may repeat
};

struct XmlEntity {
  wchar_t character;
  wchar_t reference[11];  // at most 10 characters and a terminating zero
  int length;             // of reference, in characters
};

struct XmlEntityTable {
  std::vector<XmlEntity> entries;
};

// "&amp;", "&quot;", "&apos;", "&lt;", "&gt;", in this order.
const XmlEntityTable& DefaultEntityTable();

// Options and error report of one parse, shared by all nested calls.
struct XmlParseInfo {
  bool trimValues = false;
  bool decodeEntities = false;
  const XmlEntityTable* entities = &DefaultEntityTable();
  // The first error met; later errors do not overwrite it.
  bool errorOccurred = false;
  const wchar_t* errorPosition = nullptr;
  int errorCode = 0;
  std::wstring errorText;
  // Whether the element parsed last was a declaration.
  bool isDeclaration = false;
  // Elements nest at most this deep; a deeper one is error 5.
  int maxDepth = 256;
  int depth = 0;  // current nesting while parsing
};

// Error codes recorded in XmlParseInfo::errorCode.
enum XmlError {
  kXmlElementNotClosed = 1,  // "/" (or "?" ending a declaration) not followed by ">"
  kXmlMissingClosingTag = 2,
  kXmlMismatchedClosingTag = 3,
  kXmlAttributeError = 4,
  kXmlTooDeep = 5,
};

// Parses one element starting at the first "<" at or after pos into node (whose
// children and attributes are replaced). Returns the position just after the
// element; the position of the "<" when it starts a closing tag ("</"); or nullptr
// when there is no element left or the parse failed (errorOccurred tells which,
// though some malformed ends return nullptr without an error). A partial tree built
// before a failure stays in node. With allowDeclaration, "<?name ... ?>" is read as
// a declaration node named name.
const wchar_t* ParseElement(XmlNode& node, const wchar_t* pos, const wchar_t* end, XmlParseInfo& info,
                            bool allowDeclaration);

// The first attribute of that name (case-sensitive), or nullptr.
const XmlAttr* FindAttr(const XmlNode& node, std::wstring_view name);
// That attribute's value as stored, or nullptr.
const std::wstring* AttrValue(const XmlNode& node, std::wstring_view name);
// false when there is no such attribute; otherwise out is its value without
// leading and trailing white space.
bool AttrValueTrimmed(const XmlNode& node, std::wstring_view name, std::wstring& out);
// The child pointers in document order; the children stay owned by node.
std::vector<XmlNode*> Children(const XmlNode& node);
// Destroys the children and attributes; name and value stay.
void Clear(XmlNode& node);
// The text with every entity reference of the table replaced by its character.
std::wstring DecodeEntities(const XmlEntityTable& table, std::wstring_view text);
