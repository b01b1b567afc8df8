#pragma once
// A register map as a CSV file: a header row, then one point a row. Read
// into the sheet's cells, each column given its meaning (recognised from
// its header or chosen by the user), each row turned into a point with any
// error named by its line and column, and the points grouped into poll
// definitions. Written back from the set-up. No GTK here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/point.hpp"
#include "setup/set_up.hpp"
#include "setup/set_up_model.hpp"
#include "values/address_notation.hpp"

// What a column of the map holds. In the order of the import dialog's
// drop-downs.
enum class MapField {
    none,  // not imported
    name,
    unit_id,
    table,
    address,
    data_type,
    word_order,
    access,
    scale,
    offset,
    raw_low,
    raw_high,
    scaled_low,
    scaled_high,
    decimals,
    engineering_unit,
    description,
    value_names,
    bit_names,
};

// The field's name in the drop-down ("Not imported", "Name", "Unit ID", ...).
std::string map_field_name(MapField field);

// A CSV file's cells.
struct MapSheet {
    char separator = ',';             // ',', ';' or '\t', as found
    std::vector<std::string> header;  // blanks around each name removed
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> lines;  // each row's line in the file, 1-based
};

struct MapSheetReading {
    std::optional<MapSheet> sheet;
    std::string refusal;  // why there is none: "The file has no header row", ...
};

// UTF-8 with or without a byte order mark; fields quoted or not, a quoted
// field may hold the separator, doubled quotes and line breaks; CRLF or LF.
MapSheetReading read_map_sheet(std::string_view bytes);

// The meaning of each header the program recognises (its own export's and
// the columns common in tag exports), MapField::none for any other.
// Each meaning goes to its first column only. A plain "Unit" is the
// engineering unit ("Unit ID", "Slave" are the unit id); a plain "Offset"
// is the address when no other column is.
std::vector<MapField> recognise_map_fields(const std::vector<std::string>& header);

// The notation the program's own export names in its address header, if
// the header row has one.
std::optional<AddressNotation> header_notation(const std::vector<std::string>& header);

// One point of the map.
struct MapEntry {
    uint8_t unit = 1;
    ModbusTable table = ModbusTable::holding_registers;
    uint16_t address = 0;  // protocol address
    std::string name;      // the label
    Point point;
};

struct MapRowError {
    size_t line = 0;
    std::string column;  // the header's text
    std::string reason;  // "unknown type 'REAL48'"
};

// "Line 14, column Data Type: unknown type 'REAL48'"
std::string map_error_text(const MapRowError& error);

struct MapReading {
    std::vector<MapEntry> entries;  // the good rows, in the file's order
    std::vector<MapRowError> errors;
    size_t rows_left_out = 0;  // rows with at least one error
};

// Each row read with fields[i] the meaning of column i (as many as the
// header); addresses without a table of their own read in notation. A row
// with an error is left out whole. A string's length is in characters
// (STRING[20]: 10 registers); a range wins over Scale and Offset; a repeated
// unit, table and address is an error of the later row.
MapReading read_map_entries(const MapSheet& sheet, const std::vector<MapField>& fields,
                            AddressNotation notation);

// The definitions that poll entries: one per unit, table and block of
// plan_poll_blocks, each holding its entries' names and points, in the
// order of unit, table and address. Points no block can hold are told in
// refusals, one text each.
struct MapDefinitions {
    std::vector<DefinitionSetUp> definitions;
    std::vector<std::string> refusals;
    size_t points_placed = 0;  // the entries some definition holds
};
MapDefinitions plan_map_definitions(const std::vector<MapEntry>& entries);

// What an import did, for the alert that follows it.
struct MapImport {
    size_t definitions_added = 0;
    size_t points_added = 0;
    std::vector<std::string> refusals;  // what was left out, and why
};

// The planned definitions added after the model's own, each told to the
// listeners once; none at all, and the reason, when the model cannot hold
// them all.
MapImport import_map_as_tabs(SetUpModel& model, const std::vector<MapEntry>& entries);

// The entries of definition's unit and table added to it, its block grown
// to hold them where one read can; the others left out with the reason.
MapImport import_map_into(SetUpModel& model, DefinitionSetUp& definition, const std::vector<MapEntry>& entries);

// Every point and label of every definition, one row each, with its unit,
// table, address in notation (the header names the notation), type, word
// order, scale, offset, decimals, unit, value names and bit names.
std::string write_register_map(const SetUpRecord& set_up, AddressNotation notation);
