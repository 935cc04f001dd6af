// Unicode text forms shared by every layer: UTF-8 (files, POSIX paths, the
// diagnostic log), UTF-16 (registry values, archive files, Windows calls) and
// "wide" text, std::wstring: UTF-16 where wchar_t has 16 bits (Windows), one code
// point per wchar_t elsewhere.
//
// The conversions are strict and never stop: malformed input (a bad lead byte, a
// cut or overlong sequence, an encoded surrogate, a lone surrogate, a value beyond
// U+10FFFF) gives U+FFFD for the bad unit and goes on with the next one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr char32_t replacement_char = 0xFFFD;
// The byte-order mark that opens a file written in UTF-8 by many Windows programs.
inline constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// One character read at text[i], i advanced past it; a malformed unit gives
// replacement_char and advances i by one.
char32_t next_utf8(std::string_view text, std::size_t& i);
char32_t next_utf16(std::u16string_view text, std::size_t& i);
char32_t next_wide(std::wstring_view text, std::size_t& i);

// One character appended; a surrogate or a value beyond U+10FFFF is appended as
// replacement_char.
void append_utf8(std::string& out, char32_t c);
void append_utf16(std::u16string& out, char32_t c);
void append_wide(std::wstring& out, char32_t c);

// Text in one form as another, character by character: next reads one character
// (as next_utf8 does), append writes it (as append_wide does).
template <typename Out, auto next, auto append, typename In>
Out convert_text(In text) {
  Out out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) append(out, next(text, i));
  return out;
}

// Whether text is UTF-8 throughout (the replacement character written out counts
// as itself, not as a malformed unit).
bool is_valid_utf8(std::string_view text);

std::wstring utf8_to_wide(std::string_view text);
std::string wide_to_utf8(std::wstring_view text);
std::wstring utf16_to_wide(std::u16string_view text);
std::u16string wide_to_utf16(std::wstring_view text);
