// The set-up written as a register map, in the words the import reads
// back: the program's own type and order names, table words, and the
// notation named in the address header so that a map written under one
// notation reads the same under another.

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "config/point_format.hpp"
#include "registermap/map_words.hpp"
#include "registermap/register_map.hpp"
#include "values/csv_text.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

namespace {

void append_row(std::string& out, const std::vector<std::string>& cells)
{
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += ',';
        out += csv_field(cells[i]);
    }
    out += '\n';
}

void append_header(std::string& out, AddressNotation notation)
{
    std::vector<std::string> cells;
    for (MapField field : {MapField::name, MapField::unit_id, MapField::table, MapField::address, MapField::data_type,
                           MapField::word_order, MapField::scale, MapField::offset, MapField::decimals,
                           MapField::engineering_unit, MapField::value_names, MapField::bit_names})
        cells.push_back(field == MapField::address ? address_header(notation) : map_field_name(field));
    append_row(out, cells);
}

// A point of kind tab written as what the tab shows it as. A tab showing
// plain UINT writes no type, which reads back as a point of no type.
void type_and_order(const DefinitionSetUp& definition, const Point& point, bool bits, std::string& type,
                    std::string& order)
{
    if (bits) {
        type = "BOOL";
        return;
    }
    if (point.kind == PointKind::tab) {
        bool plain = definition.format == ValueFormat::UINT && definition.order == WordOrder::AB_CD;
        type = plain ? "" : std::string(format_name(definition.format));
        if (value_width(definition.format) > 1)
            order = order_name(definition.order);
        return;
    }
    type = type_word(point);
    bool several = (point.kind == PointKind::format && value_width(point.format) > 1) ||
                   (point.kind == PointKind::bcd && point.registers == 2);
    if (several)
        order = order_name(point.order);
    else if (point.kind == PointKind::string && point.swapped_bytes)
        order = order_name(WordOrder::BA_DC);
}

std::vector<std::string> row_cells(const DefinitionSetUp& definition, uint16_t address, AddressNotation notation)
{
    ModbusTable table = table_of_function(definition.poll.fcode);
    bool bits = is_bit_table(table);
    auto held = definition.points.find(address);
    Point point = held == definition.points.end() ? Point{} : held->second;
    const LabelEntry* label = find_label(definition.labels, address);
    std::string type;
    std::string order;
    type_and_order(definition, point, bits, type, order);
    std::map<int64_t, std::string> bit_names;
    for (const auto& [bit, name] : point.bit_names)
        bit_names[bit] = name;
    return {label ? label->text : std::string(),
            std::to_string(definition.poll.slave),
            std::string(table_word(table)),
            format_address(notation, table, address),
            type,
            order,
            bits ? std::string() : number_text(point.scale),
            bits ? std::string() : number_text(point.offset),
            point.decimals == -1 ? std::string() : std::to_string(point.decimals),
            point.unit,
            names_list_text(point.value_names),
            names_list_text(bit_names)};
}

// The addresses of definition that have a label or a point, in order.
std::set<uint16_t> written_addresses(const DefinitionSetUp& definition)
{
    std::set<uint16_t> addresses;
    for (const LabelEntry& label : definition.labels.entries)
        if (!label.text.empty())
            addresses.insert(label.address);
    for (const auto& [address, point] : definition.points)
        addresses.insert(address);
    return addresses;
}

}  // namespace

std::string write_register_map(const SetUpRecord& set_up, AddressNotation notation)
{
    std::string out;
    append_header(out, notation);
    // Two tabs may show one address; the first one's row stands, as a map
    // holds each address once.
    std::set<std::tuple<uint8_t, ModbusTable, uint16_t>> written;
    for (const DefinitionSetUp& definition : set_up.definitions) {
        ModbusTable table = table_of_function(definition.poll.fcode);
        for (uint16_t address : written_addresses(definition))
            if (written.emplace(definition.poll.slave, table, address).second)
                append_row(out, row_cells(definition, address, notation));
    }
    return out;
}
