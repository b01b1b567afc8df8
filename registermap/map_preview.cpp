#include "registermap/map_preview.hpp"

#include "points/point_form.hpp"
#include "values/csv_text.hpp"

namespace {

std::string count_of(size_t count, const std::string& thing)
{
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

const char* table_text(ModbusTable table)
{
    switch (table) {
    case ModbusTable::coils:
        return "coil";
    case ModbusTable::discrete_inputs:
        return "discrete input";
    case ModbusTable::input_registers:
        return "input register";
    case ModbusTable::holding_registers:
        break;
    }
    return "holding register";
}

// The scale, offset and unit as the grid would apply them: "×0.1 +5 °C".
std::string terms_text(const Point& point)
{
    std::string text;
    if (point.scale != 1)
        text += " \u00d7" + number_text(point.scale);
    if (point.offset != 0)
        text += (point.offset > 0 ? " +" : " ") + number_text(point.offset);
    if (!point.unit.empty())
        text += " " + point.unit;
    return text;
}

std::string entry_text(const MapEntry& entry, AddressNotation notation)
{
    std::string text = "Unit " + std::to_string(entry.unit) + " \u00b7 " + table_text(entry.table) + " " +
                       format_address(notation, entry.table, entry.address);
    if (!entry.name.empty())
        text += " \u00b7 " + entry.name;
    unsigned type = fields_of(entry.point).type;
    std::string terms = terms_text(entry.point);
    if (type != 0 || !terms.empty())
        text += " \u00b7";
    if (type != 0)
        text += std::string(" ") + point_type_names()[type];
    return text + terms;
}

}  // namespace

RowReading read_map_row(const MapSheet& sheet, size_t row, const std::vector<MapField>& fields,
                        AddressNotation notation)
{
    // The row alone, so that what it reads as never depends on the rows
    // around it (nor costs a read of them).
    MapSheet one{sheet.separator, sheet.header, {sheet.rows.at(row)}, {sheet.lines.at(row)}};
    MapReading reading = read_map_entries(one, fields, notation);
    if (!reading.errors.empty())
        return {map_error_text(reading.errors.front()), true};
    if (reading.entries.empty())
        return {"Skipped", false};
    return {entry_text(reading.entries.front(), notation), false};
}

std::string map_errors_text(const MapReading& reading, size_t most)
{
    std::string text;
    size_t listed = std::min(most, reading.errors.size());
    for (size_t i = 0; i < listed; ++i)
        text += map_error_text(reading.errors[i]) + "\n";
    if (reading.errors.size() > listed)
        text += "\u2026 and " + count_of(reading.errors.size() - listed, "more error") + "\n";
    return text;
}

std::string map_rows_summary(const MapReading& reading, size_t rows)
{
    size_t good = reading.entries.size();
    if (rows == 0)
        return "The file holds no rows";
    if (reading.rows_left_out == 0)
        return rows == 1 ? "The row can be imported" : "All " + count_of(rows, "row") + " can be imported";
    std::string left_out = count_of(reading.rows_left_out, "row") +
                           (reading.rows_left_out == 1 ? " has errors and is" : " have errors and are") +
                           " left out";
    if (good == 0)
        return left_out + "; no row can be imported";
    return left_out + "; " + count_of(good, "point") + " can be imported";
}

MapImportReport map_import_report(const MapImport& import, size_t rows_left_out, bool as_tabs)
{
    MapImportReport report;
    if (import.points_added == 0)
        report.message = "Nothing was imported";
    else if (as_tabs)
        report.message = count_of(import.points_added, "point") + " imported into " +
                         count_of(import.definitions_added, "new tab");
    else
        report.message = count_of(import.points_added, "point") + " added to the shown tab";
    if (rows_left_out > 0)
        report.detail = count_of(rows_left_out, "row") + " with errors left out.\n";
    for (const std::string& refusal : import.refusals)
        report.detail += refusal + "\n";
    if (report.detail.empty())
        report.detail = "Nothing was left out.";
    else
        report.detail.pop_back();
    return report;
}
