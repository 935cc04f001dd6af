// Names for the numbers the settings records hold (parity, stop bits, protocol,
// adaptor), for the converter's own protocol code, for the positions of the
// RS-485 page's protocol list and for the answers of the link check. The records
// keep their 32-bit fields and values; these names say what a value means, and a
// value of one numbering cannot be taken for one of another: the protocol is
// numbered three ways (the settings' 0 RAVIK, 1 Modbus ASCII, 2 Modbus RTU; the
// converter's "PrOt" code 0 RAVIK, 1 Modbus RTU, 2 Modbus ASCII; the list's
// RAVIK, MODBUS-RTU, MODBUS-ASCII), each its own type.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

// The settings' numbering (the `proto` field).
enum class Protocol : int32_t { kRavik = 0, kModbusAscii = 1, kModbusRtu = 2 };
// The converter's numbering, as "PrOt" carries it on the wire.
enum class ConverterProtocol : int32_t { kRavik = 0, kModbusRtu = 1, kModbusAscii = 2 };
// Positions in the RS-485 page's protocol list "Тип".
enum class ProtocolItem : int { kRavik = 0, kModbusRtu = 1, kModbusAscii = 2 };

// The `parity` field (the channel's numbering too; the converter's differs).
enum class Parity : int32_t { kNone = 0, kOdd = 1, kEven = 2 };
// The `stopbits` field: one or two stop bits (one and a half, 1, is not used).
enum class StopBits : int32_t { kOne = 0, kTwo = 2 };
// The link set's `adaptor`: the RS-232/RS-485 adaptor at the computer's port,
// automatic (no line switching) or controlled (RTS raised around each transmission).
enum class Adaptor : int32_t { kAutomatic = 0, kControlled = 1 };

// What the link check of the computer-port page answers.
enum class LinkCheck : int {
  kAnswered = 0,       // the converter answered at the link set (the port stays open)
  kNoLink = 1,         // no connection: the page tells the user
  kRs485Refused = 2,   // the RS-485 page refused its checks (it has told the user)
  kNoLinkSilent = -1,  // no connection, in the silent state: nothing is shown
};

// The number a name stands for, as the record or the wire holds it.
template <typename Name>
  requires std::is_enum_v<Name>
constexpr std::underlying_type_t<Name> ToValue(Name name) {
  return static_cast<std::underlying_type_t<Name>>(name);
}

// The name of a stored number; none for a number that names nothing (a stored
// protocol 3, a parity 5, one and a half stop bits).
constexpr std::optional<Protocol> ProtocolOf(int32_t proto) {
  if (proto < 0 || proto > 2) return std::nullopt;
  return static_cast<Protocol>(proto);
}
constexpr std::optional<Parity> ParityOf(int32_t parity) {
  if (parity < 0 || parity > 2) return std::nullopt;
  return static_cast<Parity>(parity);
}
constexpr std::optional<StopBits> StopBitsOf(int32_t stopbits) {
  if (stopbits != 0 && stopbits != 2) return std::nullopt;
  return static_cast<StopBits>(stopbits);
}
constexpr std::optional<Adaptor> AdaptorOf(int32_t adaptor) {
  if (adaptor != 0 && adaptor != 1) return std::nullopt;
  return static_cast<Adaptor>(adaptor);
}
// A list position as the list reports it (-1: nothing selected).
constexpr std::optional<ProtocolItem> ProtocolItemOf(int position) {
  if (position < 0 || position > 2) return std::nullopt;
  return static_cast<ProtocolItem>(position);
}

// The RS-485 page's list and the settings: RAVIK, MODBUS-RTU, MODBUS-ASCII.
constexpr Protocol ProtocolOfItem(ProtocolItem item) {
  switch (item) {
    case ProtocolItem::kModbusRtu:
      return Protocol::kModbusRtu;
    case ProtocolItem::kModbusAscii:
      return Protocol::kModbusAscii;
    default:
      return Protocol::kRavik;
  }
}
constexpr ProtocolItem ItemOfProtocol(Protocol protocol) {
  switch (protocol) {
    case Protocol::kModbusRtu:
      return ProtocolItem::kModbusRtu;
    case Protocol::kModbusAscii:
      return ProtocolItem::kModbusAscii;
    default:
      return ProtocolItem::kRavik;
  }
}

constexpr bool IsModbus(Protocol protocol) { return protocol != Protocol::kRavik; }
