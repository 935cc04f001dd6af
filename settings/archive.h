// Archive: the byte stream of a configuration file. Integers are 32-bit
// little-endian, flags one byte, texts archive strings (see WriteString).
// A read past the end of the data marks the archive failed; every later read
// answers zero or an empty text, so a reader cut short never loops on garbage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Archive {
public:
  // An archive that stores into an empty buffer.
  Archive();
  // An archive that loads from `size` bytes at `data` (not copied: they must
  // outlive the archive).
  Archive(const uint8_t* data, size_t size);

  bool IsStoring() const { return storing_; }
  bool IsLoading() const { return !storing_; }
  // True once a read ran past the end of the data or met an impossible length.
  bool Failed() const { return failed_; }

  void WriteByte(uint8_t value);
  void WriteUInt32(uint32_t value);
  void WriteInt32(int32_t value) { WriteUInt32(static_cast<uint32_t>(value)); }
  // An archive string: 0xFF, the 16-bit tag 0xFFFE, the length L in UTF-16 units
  // (one byte when L < 255; else 0xFF and 16 bits when L < 0xFFFE; else 0xFF,
  // 0xFFFF and 32 bits), then L UTF-16LE units. The text is Windows-1251.
  void WriteString(std::string_view text);

  uint8_t ReadByte();
  uint32_t ReadUInt32();
  int32_t ReadInt32() { return static_cast<int32_t>(ReadUInt32()); }
  // Reads an archive string in the tagged UTF-16 form or the untagged 8-bit form
  // (the bytes are Windows-1251). False (and an empty text) when the data ends
  // early; the archive is then failed.
  bool ReadString(std::string& text);

  // What was stored so far.
  const std::vector<uint8_t>& Data() const { return out_; }
  // Bytes consumed so far while loading.
  size_t Position() const { return pos_; }

private:
  bool Take(void* dst, size_t n);

  bool storing_;
  bool failed_ = false;
  std::vector<uint8_t> out_;
  const uint8_t* in_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
};
