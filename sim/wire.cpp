#include "sim/wire.h"

#include <cstdio>

#include "common/hex_digits.h"

namespace kv4t::sim {
namespace {

constexpr std::uint16_t kRavikPoly = 0x8F57;

int name_char_code(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  switch (c) {
    case '-': return 36;
    case '_': return 37;
    case '/': return 38;
    case ' ': return 39;
    default: return -1;
  }
}

std::uint16_t feed_bits(std::uint16_t h, unsigned value, int nbits) {
  for (int bit = nbits - 1; bit >= 0; --bit) {
    const unsigned top = (h >> 15) & 1u;
    h = static_cast<std::uint16_t>(h << 1);
    if (((value >> bit) & 1u) != top) h ^= kRavikPoly;
  }
  return h;
}

}  // namespace

std::uint16_t ravik_name_hash(std::string_view name, bool* ok) {
  std::uint16_t h = 0;
  int count = 0;
  std::size_t pos = 0;
  while (count < 4 && pos < name.size() && name[pos] != '\0') {
    const int code = name_char_code(static_cast<unsigned char>(name[pos]));
    if (code < 0) {
      if (ok) *ok = false;
      return 0;
    }
    unsigned dot = 0;
    if (pos + 1 < name.size() && name[pos + 1] == '.') {
      dot = 1;
      ++pos;
    }
    h = feed_bits(h, 2u * static_cast<unsigned>(code) + dot, 7);
    ++count;
    ++pos;
  }
  for (; count < 4; ++count) h = feed_bits(h, 2u * 39u, 7);
  if (ok) *ok = true;
  return h;
}

std::uint16_t ravik_crc_step(std::uint16_t crc, std::uint8_t byte) { return feed_bits(crc, byte, 8); }

std::uint16_t ravik_crc(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) crc = ravik_crc_step(crc, data[i]);
  return crc;
}

bytes ravik_frame(const bytes& payload) {
  bytes out;
  out.reserve(payload.size() * 2 + 6);
  out.push_back('#');
  for (std::uint8_t b : payload) {
    out.push_back(static_cast<std::uint8_t>('G' + (b >> 4)));
    out.push_back(static_cast<std::uint8_t>('G' + (b & 0x0F)));
  }
  const std::uint16_t crc = ravik_crc(payload.data(), payload.size());
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(static_cast<std::uint8_t>('G' + ((crc >> shift) & 0x0F)));
  out.push_back('\r');
  return out;
}

bool ravik_unframe(const std::uint8_t* frame, std::size_t n, bytes& payload) {
  payload.clear();
  // '#', at least 4 payload bytes, 4 check characters, carriage return; even length.
  if (n < 14 || frame[0] != '#' || frame[n - 1] != '\r' || (n % 2) != 0) return false;
  const std::size_t count = (n - 6) / 2;
  auto nibble = [&](std::size_t i) -> int {
    const int v = static_cast<int>(frame[i]) - 'G';
    return v >= 0 && v <= 15 ? v : -1;
  };
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int hi = nibble(1 + 2 * i), lo = nibble(2 + 2 * i);
    if (hi < 0 || lo < 0) return false;
    const auto b = static_cast<std::uint8_t>((hi << 4) | lo);
    crc = ravik_crc_step(crc, b);
    payload.push_back(b);
  }
  unsigned got = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const int v = nibble(1 + 2 * count + i);
    if (v < 0) return false;
    got = (got << 4) | static_cast<unsigned>(v);
  }
  return got == crc;
}

std::uint16_t modbus_crc(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

std::uint8_t modbus_lrc(const std::uint8_t* data, std::size_t n) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
  return static_cast<std::uint8_t>(-sum);
}

bytes modbus_rtu_frame(const bytes& pdu) {
  bytes out = pdu;
  const std::uint16_t crc = modbus_crc(pdu.data(), pdu.size());
  out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  out.push_back(static_cast<std::uint8_t>(crc >> 8));
  return out;
}

bytes modbus_ascii_frame(const bytes& pdu) {
  static const char digits[] = "0123456789ABCDEF";
  bytes out;
  out.push_back(':');
  auto put = [&](std::uint8_t b) {
    out.push_back(static_cast<std::uint8_t>(digits[b >> 4]));
    out.push_back(static_cast<std::uint8_t>(digits[b & 0x0F]));
  };
  for (std::uint8_t b : pdu) put(b);
  put(modbus_lrc(pdu.data(), pdu.size()));
  out.push_back('\r');
  out.push_back('\n');
  return out;
}

bool modbus_ascii_unframe(const std::uint8_t* frame, std::size_t n, bytes& pdu) {
  pdu.clear();
  // ':', at least unit, function and LRC as digits, two end characters.
  if (n < 9 || frame[0] != ':' || (n - 3) % 2 != 0) return false;
  const std::uint8_t a = frame[n - 2], b = frame[n - 1];
  if (!((a == '\r' && b == '\n') || (a == '\n' && b == '\r'))) return false;
  const std::size_t count = (n - 3) / 2;  // bytes including the LRC
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int hi = HexDigitValue(frame[1 + 2 * i]), lo = HexDigitValue(frame[2 + 2 * i]);
    if (hi < 0 || lo < 0) return false;
    const auto v = static_cast<std::uint8_t>((hi << 4) | lo);
    sum = static_cast<std::uint8_t>(sum + v);
    if (i + 1 < count) pdu.push_back(v);
  }
  return sum == 0;
}

std::string hex_dump(const std::uint8_t* data, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
    s += buf;
  }
  return s;
}

std::string printable(const std::uint8_t* data, std::size_t n) {
  std::string s;
  char buf[8];
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t c = data[i];
    if (c == '\r') s += "\\r";
    else if (c == '\n') s += "\\n";
    else if (c >= 0x20 && c < 0x7F) s += static_cast<char>(c);
    else {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      s += buf;
    }
  }
  return s;
}

}  // namespace kv4t::sim
