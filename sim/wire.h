// Wire-level helpers of the simulated converter: the RAVIK name identifier and frame
// check, and the Modbus checks. Kept apart from the configurator's codecs on purpose:
// the simulator frames its answers by its own reading of the protocol, so a fault in
// one side's framing shows up as a failed exchange instead of cancelling out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv4t::sim {

using bytes = std::vector<std::uint8_t>;

// The 16-bit identifier of a RAVIK parameter name; ok=false (and 0) for a name with a
// character outside the name alphabet.
std::uint16_t ravik_name_hash(std::string_view name, bool* ok = nullptr);
std::uint16_t ravik_crc_step(std::uint16_t crc, std::uint8_t byte);
std::uint16_t ravik_crc(const std::uint8_t* data, std::size_t n);
// '#', two characters 'G'+nibble per byte, four check characters, carriage return.
bytes ravik_frame(const bytes& payload);
// Decodes one RAVIK frame from '#' to the carriage return (both included); false when it
// is too short, holds a character outside 'G'..'V' or fails its check.
bool ravik_unframe(const std::uint8_t* frame, std::size_t n, bytes& payload);

std::uint16_t modbus_crc(const std::uint8_t* data, std::size_t n);
std::uint8_t modbus_lrc(const std::uint8_t* data, std::size_t n);
bytes modbus_rtu_frame(const bytes& pdu);    // pdu + CRC, low byte first
bytes modbus_ascii_frame(const bytes& pdu);  // ':' hex digits, LRC, CR LF
// ':' ... CR LF (either order of the last two) -> unit, function, data; false when malformed.
bool modbus_ascii_unframe(const std::uint8_t* frame, std::size_t n, bytes& pdu);

std::string hex_dump(const std::uint8_t* data, std::size_t n);
std::string printable(const std::uint8_t* data, std::size_t n);

}  // namespace kv4t::sim
