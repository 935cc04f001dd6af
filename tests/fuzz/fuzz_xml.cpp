// The XML reader as the catalogue drives it, on arbitrary text: one reused node,
// element after element from the start, plus the whole catalogue loader on the
// same bytes. Nothing may crash, read past the text, hang or grow without bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "catalogue/xml.h"
#include "common/code_pages.h"

namespace {

size_t Walk(const XmlNode& node) {
  size_t n = 1;
  std::wstring value;
  for (const char* name : {"name", "description", "validbauds"}) {
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    AttrValueTrimmed(node, wide, value);
  }
  for (XmlNode* child : Children(node)) n += Walk(*child);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The text exactly as long as the input, so that a read past it is caught.
  const std::wstring text = Cp1251ToWide(bytes);
  XmlNode node;
  XmlParseInfo info;
  info.trimValues = true;
  info.decodeEntities = true;
  const wchar_t* pos = text.data();
  const wchar_t* const end = pos + text.size();
  bool first = true;
  while (pos != end) {
    const wchar_t* next = ParseElement(node, pos, end, info, first);
    if (!next || info.errorOccurred) break;
    if (next < pos || next > end) __builtin_trap();
    Walk(node);
    // A closing tag with no element open comes back as its own position.
    pos = (end - next >= 2 && next[0] == L'<' && next[1] == L'/') ? next + 2 : next;
    first = false;
  }

  InstrumentCatalogue catalogue;
  catalogue.LoadText(bytes);
  for (const auto& entry : catalogue.entries()) {
    if (entry->validbauds.empty()) __builtin_trap();
    PollIndexForBaud(*entry, entry->defbaud);
  }
  return 0;
}
