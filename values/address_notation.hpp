#pragma once
// The one way of writing Modbus addresses that the user chooses for the
// whole program, and the tables an address lies in. Underneath, an address
// is always the protocol address (0 to 65535) that goes on the wire.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// In the order of the drop-down.
enum class AddressNotation { protocol, register_number, modicon, hexadecimal };

enum class ModbusTable { coils, discrete_inputs, input_registers, holding_registers };

// The table a read or write function code works on: 1, 5 and 15 coils,
// 2 discrete inputs, 4 input registers, 3, 6, 16 and 22 (and any other
// code) holding registers.
ModbusTable table_of_function(uint8_t fcode);

// address in the notation: "0".."65535", "1".."65536", "00001".."065536"
// (the table's digit 0, 1, 3 or 4, then 4 digits while the register number
// is at most 9999, else 5), "0x0000".."0xFFFF".
std::string format_address(AddressNotation notation, ModbusTable table, uint16_t address);

// The protocol address, or none and a short reason the user reads.
struct ParsedAddress {
    std::optional<uint16_t> address;
    std::string refusal;
};

// Reads text typed for an address of table, blanks around it allowed: what
// format_address writes, and "0x" followed by hexadecimal digits (a protocol
// address) in every notation; in the hexadecimal notation the "0x" may be
// left out. A Modicon number of another table is refused, never moved.
ParsedAddress parse_address(AddressNotation notation, ModbusTable table, std::string_view text);

// The notation's name in the drop-down.
std::string notation_name(AddressNotation notation);
// The word that keeps the choice in the preferences, and back.
std::string_view notation_key(AddressNotation notation);
std::optional<AddressNotation> notation_from_key(std::string_view key);

// An address of a register map whose text names its table, blanks around it
// allowed, letters in either case:
// - a Modicon number: "0", "1", "3" or "4", then 4 or 5 digits of a
//   register number (1-based) up to 9999 or 65536: "40001", "300010";
// - "1x", "3x" or "4x", then a register number (1-based) of any number of
//   digits: "4x0001", "4x00001", "3x10" ("0x" is hexadecimal everywhere, so
//   coils take one of the other two forms);
// - "CO" (coils), "DI" (discrete inputs), "IR" (input registers) or "HR"
//   (holding registers), then a protocol address (0-based): "HR100", "IR0".
// None for anything else, plain numbers included.
std::optional<std::pair<ModbusTable, uint16_t>> parse_tagged_address(std::string_view text);
