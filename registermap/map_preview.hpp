#pragma once
// The words of the Import Register Map dialog and of the alert after an
// import: what a row of the map reads as with the fields chosen, the list
// of errors, how many rows are left out, and what the import did. No GTK
// here.

#include <cstddef>
#include <string>
#include <vector>

#include "registermap/register_map.hpp"

// What one row reads as: its point in words ("Unit 1 · holding register
// 40001 · Temp · FLOAT32 ×0.1 °C"), or its first error.
struct RowReading {
    std::string text;
    bool error = false;
};
RowReading read_map_row(const MapSheet& sheet, size_t row, const std::vector<MapField>& fields,
                        AddressNotation notation);

// One error a line, at most most of them, then how many more there are.
std::string map_errors_text(const MapReading& reading, size_t most);

// How many of rows can be imported and how many are left out for errors.
std::string map_rows_summary(const MapReading& reading, size_t rows);

// The alert after an import: what was added, then what was left out.
struct MapImportReport {
    std::string message;
    std::string detail;
};
MapImportReport map_import_report(const MapImport& import, size_t rows_left_out, bool as_tabs);
