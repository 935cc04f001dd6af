#include "common/code_pages.h"

#include <iterator>

namespace {

// Bytes of an 8-bit code page whose upper half is `high` as UTF-16 or wide text:
// one unit per byte.
template <typename Out>
Out Widen(std::string_view bytes, const char16_t* high) {
  Out out;
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = static_cast<typename Out::value_type>(b < 0x80 ? b : high[b - 0x80]);
  }
  return out;
}

// The upper halves (0x80..0xFF) of DOS (CP866) and KOI8-R, one character per
// byte; Windows-1251's is common/cp1251.h's.
constexpr char16_t kCp866High[] =
    u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмноп░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
    u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀рстуфхцчшщъыьэюяЁёЄєЇїЎў°∙·√№¤■\u00A0";
static_assert(std::size(kCp866High) == 129);

constexpr char16_t kKoi8rHigh[] =
    u"─│┌┐└┘├┤┬┴┼▀▄█▌▐░▒▓⌠■∙√≈≤≥\u00A0⌡°²·÷═║╒ё╓╔╕╖╗╘╙╚╛╜╝╞╟╠╡Ё╢╣╤╥╦╧╨╩╪╫╬©"
    u"юабцдефгхийклмнопярстужвьызшэщчъЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ";
static_assert(std::size(kKoi8rHigh) == 129);

const char16_t* HighTable(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Cp866: return kCp866High;
    case TextEncoding::Koi8r: return kKoi8rHigh;
    default: return kCp1251UpperHalf;
  }
}

bool EqualsNoCase(std::wstring_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t c = a[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != static_cast<wchar_t>(b[i])) return false;
  }
  return true;
}

}  // namespace

TextEncoding TextEncodingFromName(std::wstring_view name) {
  if (EqualsNoCase(name, "UTF-8")) return TextEncoding::Utf8;
  if (EqualsNoCase(name, "CP1251")) return TextEncoding::Cp1251;
  if (EqualsNoCase(name, "CP866")) return TextEncoding::Cp866;
  if (EqualsNoCase(name, "KOI8-R")) return TextEncoding::Koi8r;
  return TextEncoding::None;
}

char32_t ByteToChar(unsigned char byte, TextEncoding encoding) {
  if (byte < 0x80) return byte;
  return HighTable(encoding)[byte - 0x80];
}

std::wstring DecodeBytes(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) return Utf8ToWide(bytes);
  return Widen<std::wstring>(bytes, HighTable(encoding));
}

std::string DecodeToCp1251(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::None:
    case TextEncoding::Cp1251:
      return std::string(bytes);
    case TextEncoding::Utf8:
      return Utf8ToCp1251(bytes);
    default: {
      const char16_t* high = HighTable(encoding);
      std::string out;
      out.reserve(bytes.size());
      for (unsigned char b : bytes) out += b < 0x80 ? static_cast<char>(b) : CharToCp1251(high[b - 0x80]);
      return out;
    }
  }
}
