#pragma once
// The words of a register map's cells, read and written by the same
// tables so that what the export writes the import reads back: tables,
// data types, word orders and lists of names. No GTK here.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "setup/point.hpp"
#include "values/address_notation.hpp"

bool is_bit_table(ModbusTable table);
// The function that reads table: 1, 2, 4 or 3.
uint8_t read_function(ModbusTable table);

// text without the blanks around it.
std::string_view trim_cell(std::string_view text);

// "Coils", "coil", "CO", "0x", "1" (the function code that reads it), ...
std::optional<ModbusTable> table_from_word(std::string_view word);
// What the export writes: "Coils", "Discrete Inputs", ...
std::string_view table_word(ModbusTable table);

// What a Data Type cell says: one bit (a coil's or discrete input's), or a
// point of a register table.
struct MapType {
    bool bit = false;
    Point point;  // kind, format and registers only
};
// The program's own type names (UINT, FLOAT32, BCD16, BITS, ...) and the
// common ones of tag exports (BOOL, WORD, DINT, REAL, LREAL, ...). A string
// gives its length in characters, two to a register: STRING[20], STRING20,
// STRING(20). None, with the reason in refusal, for anything else.
std::optional<MapType> type_from_word(std::string_view word, std::string& refusal);
// The export's word for a point of kind format, bcd, string or bits.
std::string type_word(const Point& point);

// The program's names (AB_CD, CD_AB, BA_DC, DC_BA) with or without "_",
// and the common words: Big/Little Endian, Word Swap, Byte Swap, and a
// Swap column's Yes/No.
std::optional<WordOrder> order_from_word(std::string_view word);

// "0=Off;1=On": number=name pairs apart by ";" or line breaks, ":" allowed
// for "="; a ";" inside a name is doubled. Keys from lowest to highest.
bool read_names_list(std::string_view text, int64_t lowest, int64_t highest, std::map<int64_t, std::string>& names,
                     std::string& refusal);
std::string names_list_text(const std::map<int64_t, std::string>& names);

// The export's address header, which names the notation: "Address (Modicon)".
std::string address_header(AddressNotation notation);
