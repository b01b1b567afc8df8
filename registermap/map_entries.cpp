// A map's rows turned into points, each error named by its line and column.
//
// Choices a reader of vendor maps should know:
// - An address that names its table ("4x0001", "HR100", and under the
//   Modicon notation "40001") takes that table; a plain one is read in the
//   notation, in the Table column's table or else the holding registers.
// - A range (Raw Low/High, Scaled Low/High) gives the scale and offset and
//   then wins over the Scale and Offset columns.
// - A word order matters only for values over several registers; for a
//   string, BA_DC (or DC_BA) means the low byte of each register first.
// - Bit names make a 16-bit register (of no type, or a 16-bit one) BITS.
// - A row without a name takes its description as the label. Access is
//   not kept: every point is polled, and writes go where the table allows.

#include <charconv>
#include <cmath>
#include <cctype>
#include <unordered_map>

#include "points/point_value.hpp"
#include "registermap/map_words.hpp"
#include "registermap/register_map.hpp"
#include "values/number_syntax.hpp"

namespace {

constexpr int most_decimals = 15;

const char* singular(ModbusTable table)
{
    constexpr const char* words[] = {"a coil", "a discrete input", "an input register", "a holding register"};
    return words[size_t(table)];
}

// A reason from parse_address made a piece of "Line 3, column Address: ...".
std::string lowered(std::string reason)
{
    if (reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[0])) &&
        !std::isupper(static_cast<unsigned char>(reason[1])))
        reason[0] = char(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

// One row being read: its cells by field, and the errors found so far.
struct RowReader {
    const MapSheet& sheet;
    const std::vector<MapField>& fields;
    const std::vector<std::string>& cells;
    size_t line = 0;
    std::vector<MapRowError> errors;

    // The first column of field whose cell is not empty, else its first column.
    std::optional<size_t> column(MapField field) const
    {
        std::optional<size_t> first;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i] != field)
                continue;
            if (i < cells.size() && !trim_cell(cells[i]).empty())
                return i;
            first = first.value_or(i);
        }
        return first;
    }
    std::string_view cell(MapField field) const
    {
        std::optional<size_t> at = column(field);
        return at && *at < cells.size() ? trim_cell(cells[*at]) : std::string_view();
    }
    void fail(MapField field, std::string reason)
    {
        std::optional<size_t> at = column(field);
        std::string header = at && *at < sheet.header.size() ? sheet.header[*at] : map_field_name(field);
        errors.push_back({line, std::move(header), std::move(reason)});
    }
};

// A number as "1.5", "-40", "+2" or "1e-3"; "0,1" too where the comma
// separates no fields.
std::optional<double> read_real(std::string_view text, bool decimal_comma)
{
    std::string digits(text.starts_with('+') ? text.substr(1) : text);
    if (decimal_comma && digits.find(',') != std::string::npos && digits.find('.') == std::string::npos)
        digits[digits.find(',')] = '.';
    double value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> real_cell(RowReader& row, MapField field)
{
    std::string_view text = row.cell(field);
    std::optional<double> value = read_real(text, row.sheet.separator != ',');
    if (!value)
        row.fail(field, "'" + std::string(text) + "' is not a number");
    return value;
}

uint8_t read_unit(RowReader& row)
{
    std::string_view text = row.cell(MapField::unit_id);
    if (text.empty())
        return 1;
    std::optional<uint32_t> unit = parse_unsigned(text, UINT8_MAX);
    if (!unit)
        row.fail(MapField::unit_id, parse_unsigned(text, UINT32_MAX)
                                        ? "unit " + std::string(text) + " is beyond 255"
                                        : "'" + std::string(text) + "' is not a unit id");
    return uint8_t(unit.value_or(1));
}

std::optional<ModbusTable> read_table(RowReader& row)
{
    std::string_view text = row.cell(MapField::table);
    if (text.empty())
        return std::nullopt;
    std::optional<ModbusTable> table = table_from_word(text);
    if (!table)
        row.fail(MapField::table, "unknown table '" + std::string(text) + "'");
    return table;
}

bool plain_digits(std::string_view text)
{
    return text.find_first_not_of("0123456789_") == std::string_view::npos;
}

// The entry's table and address; table is the Table column's, if any.
bool read_address(RowReader& row, std::optional<ModbusTable> table, AddressNotation notation, MapEntry& entry)
{
    std::string_view text = row.cell(MapField::address);
    bool tag_allowed = !plain_digits(text) || (notation == AddressNotation::modicon && !table);
    if (auto tagged = tag_allowed ? parse_tagged_address(text) : std::nullopt) {
        if (table && *table != tagged->first) {
            row.fail(MapField::address, std::string(text) + " is " + singular(tagged->first) + ", not " +
                                            singular(*table));
            return false;
        }
        entry.table = tagged->first;
        entry.address = tagged->second;
        return true;
    }
    entry.table = table.value_or(ModbusTable::holding_registers);
    // A spreadsheet drops a coil's leading zeros: "00005" saved as "5".
    std::string padded;
    if (notation == AddressNotation::modicon && entry.table == ModbusTable::coils && plain_digits(text) &&
        text.size() < 5) {
        padded = std::string(5 - text.size(), '0') + std::string(text);
        text = padded;
    }
    ParsedAddress parsed = parse_address(notation, entry.table, text);
    if (!parsed.address)
        row.fail(MapField::address, lowered(parsed.refusal));
    entry.address = parsed.address.value_or(0);
    return parsed.address.has_value();
}

bool several_registers(const Point& point)
{
    return (point.kind == PointKind::format && value_width(point.format) > 1) ||
           (point.kind == PointKind::bcd && point.registers == 2);
}

void read_type(RowReader& row, MapEntry& entry)
{
    std::string_view text = row.cell(MapField::data_type);
    bool bits = is_bit_table(entry.table);
    if (text.empty())
        return;
    std::string refusal;
    std::optional<MapType> type = type_from_word(text, refusal);
    if (type && type->bit != bits)
        refusal = bits ? "coils and discrete inputs hold bits, not '" + std::string(text) + "'"
                       : "'" + std::string(text) + "' is a type of coils and discrete inputs";
    if (!refusal.empty())
        return row.fail(MapField::data_type, refusal);
    entry.point = type->point;
}

void read_order(RowReader& row, Point& point)
{
    std::string_view text = row.cell(MapField::word_order);
    if (text.empty())
        return;
    std::optional<WordOrder> order = order_from_word(text);
    if (!order)
        return row.fail(MapField::word_order, "unknown word order '" + std::string(text) + "'");
    if (several_registers(point))
        point.order = *order;
    point.swapped_bytes = point.kind == PointKind::string && (*order == WordOrder::BA_DC || *order == WordOrder::DC_BA);
}

// Scale and offset, from a range when the row has one; the field that set
// the scale, for an error about it.
MapField read_scaling(RowReader& row, Point& point)
{
    constexpr MapField range[] = {MapField::raw_low, MapField::raw_high, MapField::scaled_low, MapField::scaled_high};
    bool ranged = false;
    for (MapField field : range)
        ranged |= !row.cell(field).empty();
    if (ranged) {
        std::optional<double> values[4];
        for (size_t i = 0; i < 4; ++i)
            if (row.cell(range[i]).empty())
                row.fail(range[i], "the range needs Raw Low, Raw High, Scaled Low and Scaled High");
            else
                values[i] = real_cell(row, range[i]);
        if (!values[0] || !values[1] || !values[2] || !values[3])
            return MapField::raw_low;
        if (*values[1] == *values[0]) {
            row.fail(MapField::raw_high, "the raw range is empty: Raw Low and Raw High are the same");
            return MapField::raw_low;
        }
        point.scale = (*values[3] - *values[2]) / (*values[1] - *values[0]);
        point.offset = *values[2] - *values[0] * point.scale;
        return MapField::scaled_low;
    }
    if (!row.cell(MapField::scale).empty())
        point.scale = real_cell(row, MapField::scale).value_or(1);
    if (!row.cell(MapField::offset).empty())
        point.offset = real_cell(row, MapField::offset).value_or(0);
    if (point.scale == 0)
        row.fail(MapField::scale, "the scale cannot be 0");
    return point.scale != 1 || point.offset == 0 ? MapField::scale : MapField::offset;
}

void read_decimals(RowReader& row, Point& point)
{
    std::string_view text = row.cell(MapField::decimals);
    if (text.empty())
        return;
    std::optional<NumberText> number = parse_number_text(text, 10, most_decimals);
    if (!number || (number->negative && number->magnitude > 1))
        return row.fail(MapField::decimals, "decimals run from 0 to " + std::to_string(most_decimals) + ", not '" +
                                                std::string(text) + "'");
    point.decimals = number->negative ? -1 : int(number->magnitude);
}

void read_names(RowReader& row, MapEntry& entry)
{
    Point& point = entry.point;
    std::string refusal;
    std::map<int64_t, std::string> names;
    if (!read_names_list(row.cell(MapField::value_names), INT64_MIN, INT64_MAX, names, refusal))
        row.fail(MapField::value_names, refusal);
    point.value_names = std::move(names);
    names.clear();
    if (!read_names_list(row.cell(MapField::bit_names), 0, 15, names, refusal))
        return row.fail(MapField::bit_names, refusal);
    if (names.empty())
        return;
    bool word = point.kind == PointKind::tab ||
                (point.kind == PointKind::format && value_width(point.format) == 1) || point.kind == PointKind::bits;
    if (!word || is_bit_table(entry.table))
        return row.fail(MapField::bit_names, "bit names need a 16-bit register (type BITS)");
    point.kind = PointKind::bits;
    point.format = ValueFormat::UINT;
    for (const auto& [bit, name] : names)
        point.bit_names[uint8_t(bit)] = name;
}

// What no column alone can tell: whether the point fits where it stands.
void check_point(RowReader& row, const MapEntry& entry, MapField scaling)
{
    bool bits = is_bit_table(entry.table);
    unsigned width = point_width(entry.point, TabFormat{}, bits);
    if (uint32_t(entry.address) + width > 0x10000)
        return row.fail(MapField::address, "the value's " + std::to_string(width) +
                                               " registers run past address 65535");
    PollDefinition poll{entry.unit, read_function(entry.table), entry.address, uint8_t(width), 1000};
    std::string refusal = point_refusal(entry.point, poll, entry.address);
    bool scaled = entry.point.scale != 1 || entry.point.offset != 0;
    if (!refusal.empty())
        row.fail(bits && scaled && entry.point.kind == PointKind::tab ? scaling : MapField::data_type,
                 lowered(refusal));
}

std::optional<MapEntry> read_row(RowReader& row, AddressNotation notation)
{
    MapEntry entry;
    entry.name = std::string(row.cell(MapField::name));
    if (entry.name.empty())
        entry.name = std::string(row.cell(MapField::description));
    entry.unit = read_unit(row);
    size_t before = row.errors.size();
    std::optional<ModbusTable> table = read_table(row);
    bool table_known = row.errors.size() == before;
    if (!read_address(row, table, notation, entry) || !table_known)
        return std::nullopt;  // what the other cells mean depends on the table
    read_type(row, entry);
    read_order(row, entry.point);
    MapField scaling = read_scaling(row, entry.point);
    read_decimals(row, entry.point);
    entry.point.unit = std::string(row.cell(MapField::engineering_unit));
    read_names(row, entry);
    if (row.errors.empty())
        check_point(row, entry, scaling);
    if (!row.errors.empty())
        return std::nullopt;
    return entry;
}

uint32_t address_key(const MapEntry& entry)
{
    return uint32_t(entry.unit) << 18 | uint32_t(entry.table) << 16 | entry.address;
}

}  // namespace

MapReading read_map_entries(const MapSheet& sheet, const std::vector<MapField>& fields, AddressNotation notation)
{
    MapReading reading;
    std::unordered_map<uint32_t, size_t> defined_on;  // address key -> line
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
        RowReader row{sheet, fields, sheet.rows[r], r < sheet.lines.size() ? sheet.lines[r] : r + 2, {}};
        std::optional<MapEntry> entry = read_row(row, notation);
        if (entry) {
            auto [held, fresh] = defined_on.emplace(address_key(*entry), row.line);
            if (!fresh)
                row.fail(MapField::address, "address already defined on line " + std::to_string(held->second));
        }
        if (!row.errors.empty()) {
            ++reading.rows_left_out;
            for (MapRowError& error : row.errors)
                reading.errors.push_back(std::move(error));
            continue;
        }
        reading.entries.push_back(std::move(*entry));
    }
    return reading;
}
