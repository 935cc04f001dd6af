#include "settings/archive.h"

#include <cstring>

#include "common/code_pages.h"

Archive::Archive() : storing_(true) {}

Archive::Archive(const uint8_t* data, size_t size) : storing_(false), in_(data), size_(size) {}

void Archive::WriteByte(uint8_t value) { out_.push_back(value); }

void Archive::WriteUInt32(uint32_t value) {
  for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Archive::WriteString(std::string_view text) {
  std::u16string wide = Cp1251ToUtf16(text);
  size_t n = wide.size();
  WriteByte(0xFF);
  WriteByte(0xFE);
  WriteByte(0xFF);
  if (n < 0xFF) {
    WriteByte(static_cast<uint8_t>(n));
  } else {
    WriteByte(0xFF);
    if (n < 0xFFFE) {
      WriteByte(static_cast<uint8_t>(n));
      WriteByte(static_cast<uint8_t>(n >> 8));
    } else {
      WriteByte(0xFF);
      WriteByte(0xFF);
      WriteUInt32(static_cast<uint32_t>(n));
    }
  }
  for (char16_t u : wide) {
    out_.push_back(static_cast<uint8_t>(u));
    out_.push_back(static_cast<uint8_t>(u >> 8));
  }
}

bool Archive::Take(void* dst, size_t n) {
  if (failed_ || size_ - pos_ < n) {
    failed_ = true;
    std::memset(dst, 0, n);
    return false;
  }
  std::memcpy(dst, in_ + pos_, n);
  pos_ += n;
  return true;
}

uint8_t Archive::ReadByte() {
  uint8_t b = 0;
  Take(&b, 1);
  return b;
}

uint32_t Archive::ReadUInt32() {
  uint8_t b[4];
  Take(b, 4);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

bool Archive::ReadString(std::string& text) {
  text.clear();
  auto read16 = [this]() {
    uint8_t b[2];
    Take(b, 2);
    return static_cast<uint32_t>(b[0] | b[1] << 8);
  };
  bool wide = false;
  uint32_t length = ReadByte();
  if (length == 0xFF) {
    length = read16();
    if (length == 0xFFFE) {
      wide = true;
      length = ReadByte();
      if (length == 0xFF) length = read16();
    }
    if (length == 0xFFFF) length = ReadUInt32();
  }
  if (failed_) return false;
  // The length is checked against what is left before anything is allocated, so an
  // absurd prefix costs nothing.
  uint64_t bytes = wide ? uint64_t{length} * 2 : length;
  if (bytes > size_ - pos_) {
    failed_ = true;
    return false;
  }
  const uint8_t* p = in_ + pos_;
  pos_ += static_cast<size_t>(bytes);
  if (!wide) {
    text.assign(reinterpret_cast<const char*>(p), length);
    return true;
  }
  std::u16string units(length, u'\0');
  for (uint32_t i = 0; i < length; ++i)
    units[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
  text = Utf16ToCp1251(units);
  return true;
}
