// What each column of a map holds, told by its header: the program's own
// export's names and those common in tag exports, in any case.
//
// Two headers mean different things in different tools. A plain "Unit" is
// the engineering unit ("rpm"); the device's unit id goes by "Unit ID",
// "Slave" or "Device ID". A plain "Offset" is the scaling offset when
// another column holds the address, and the address when none does.

#include <cctype>
#include <initializer_list>

#include "registermap/map_words.hpp"
#include "registermap/register_map.hpp"

namespace {

struct FieldWords {
    MapField field;
    std::initializer_list<std::string_view> words;
};

// Headers in lower case, one blank between words, "_", "-" and "." taken
// for blanks.
const FieldWords field_words[] = {
    {MapField::name, {"name", "tag", "tag name", "tagname", "label", "point name", "point", "variable",
                      "variable name", "signal", "signal name", "symbol"}},
    {MapField::unit_id, {"unit id", "unitid", "unit identifier", "unit address", "slave", "slave id", "slaveid",
                         "slave address", "device id", "deviceid", "device address", "station", "station id", "node",
                         "node id", "modbus id"}},
    {MapField::table, {"table", "register type", "reg type", "object type", "register table", "modbus table", "area",
                       "memory area", "data area", "register area", "function", "function code", "fc"}},
    {MapField::address, {"address", "register", "reg", "addr", "modbus address", "register address", "reg address",
                         "start address", "register number", "modbus register", "modicon address"}},
    {MapField::data_type, {"data type", "datatype", "type", "format", "value type", "variable type", "data format"}},
    {MapField::word_order, {"word order", "byte order", "swap", "word swap", "byte swap", "endian", "endianness",
                            "swap mode"}},
    {MapField::access, {"access", "read/write", "r/w", "rw", "read write", "readwrite", "access mode", "permission",
                        "permissions", "direction"}},
    {MapField::scale, {"scale", "multiplier", "gain", "scaling", "factor", "scale factor", "scaling factor",
                       "coefficient", "ratio"}},
    {MapField::offset, {"offset", "scale offset", "scaling offset", "bias", "addend", "zero offset"}},
    {MapField::raw_low, {"raw low", "raw lo", "raw min", "raw minimum", "raw zero", "min raw", "input low",
                         "input min"}},
    {MapField::raw_high, {"raw high", "raw hi", "raw max", "raw maximum", "raw full", "max raw", "input high",
                          "input max"}},
    {MapField::scaled_low, {"scaled low", "scaled lo", "scaled min", "scaled minimum", "eng low", "eng min",
                            "eu low", "eu min", "engineering low", "engineering min", "output low", "output min"}},
    {MapField::scaled_high, {"scaled high", "scaled hi", "scaled max", "scaled maximum", "eng high", "eng max",
                             "eu high", "eu max", "engineering high", "engineering max", "output high",
                             "output max"}},
    {MapField::decimals, {"decimals", "decimal", "decimal places", "precision", "digits", "dp"}},
    {MapField::engineering_unit, {"units", "unit", "eng unit", "eng units", "engineering unit", "engineering units",
                                  "eu", "uom", "unit of measure", "measurement unit"}},
    {MapField::description, {"description", "desc", "comment", "comments", "note", "notes", "remark", "remarks",
                             "info"}},
    {MapField::value_names, {"value names", "values", "states", "state names", "enumeration", "enum", "value map",
                             "value labels", "text list"}},
    {MapField::bit_names, {"bit names", "bits", "bit labels", "bit map", "bit descriptions"}},
};

std::string normalised(std::string_view header)
{
    std::string key;
    for (char c : trim_cell(header)) {
        char low = char(std::tolower(static_cast<unsigned char>(c)));
        if (low == '_' || low == '-' || low == '.' || low == '\t')
            low = ' ';
        if (low != ' ' || (!key.empty() && key.back() != ' '))
            key += low;
    }
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    return key;
}

MapField field_of_words(const std::string& key)
{
    for (const FieldWords& row : field_words)
        for (std::string_view word : row.words)
            if (key == word)
                return row.field;
    return MapField::none;
}

// The header's field, a remark in brackets after it passed over when the
// header without it names one ("Address (Modicon)", "Scale (x)").
MapField field_of_header(std::string_view header)
{
    std::string key = normalised(header);
    MapField field = field_of_words(key);
    size_t bracket = key.find(" (");
    if (field == MapField::none && bracket != std::string::npos && key.back() == ')')
        field = field_of_words(key.substr(0, bracket));
    return field;
}

// What the export writes inside the brackets: the notation's name without
// its examples, "Modicon" of "Modicon (00001, ...)".
std::string short_notation_name(AddressNotation notation)
{
    std::string name = notation_name(notation);
    return name.substr(0, name.find(" ("));
}

bool same_text(std::string_view a, std::string_view b)
{
    return normalised(a) == normalised(b);
}

}  // namespace

std::string map_field_name(MapField field)
{
    constexpr const char* names[] = {
        "Not imported", "Name",        "Unit ID",  "Table",       "Address", "Data Type",   "Word Order",
        "Access",       "Scale",       "Offset",   "Raw Low",     "Raw High", "Scaled Low", "Scaled High",
        "Decimals",     "Units",       "Description", "Value Names", "Bit Names"};
    return names[size_t(field)];
}

std::vector<MapField> recognise_map_fields(const std::vector<std::string>& header)
{
    std::vector<MapField> fields;
    for (const std::string& text : header)
        fields.push_back(field_of_header(text));
    bool other_address = false;
    for (size_t i = 0; i < header.size(); ++i)
        other_address |= fields[i] == MapField::address;
    // Each meaning once, the first column that has it; a lone "Offset" is the address.
    std::vector<bool> taken(size_t(MapField::bit_names) + 1);
    for (size_t i = 0; i < header.size(); ++i) {
        if (fields[i] == MapField::offset && !other_address && normalised(header[i]) == "offset") {
            fields[i] = MapField::address;
            other_address = true;
        }
        if (fields[i] != MapField::none && taken[size_t(fields[i])])
            fields[i] = MapField::none;
        taken[size_t(fields[i])] = true;
    }
    return fields;
}

std::optional<AddressNotation> header_notation(const std::vector<std::string>& header)
{
    for (const std::string& text : header) {
        size_t open = text.find('(');
        size_t close = text.rfind(')');
        if (field_of_header(text) != MapField::address || open == std::string::npos || close <= open)
            continue;
        std::string_view inside = std::string_view(text).substr(open + 1, close - open - 1);
        for (AddressNotation notation : {AddressNotation::protocol, AddressNotation::register_number,
                                         AddressNotation::modicon, AddressNotation::hexadecimal})
            if (same_text(inside, short_notation_name(notation)) || same_text(inside, notation_name(notation)) ||
                same_text(inside, notation_key(notation)))
                return notation;
    }
    return std::nullopt;
}

std::string address_header(AddressNotation notation)
{
    return "Address (" + short_notation_name(notation) + ")";
}

std::string map_error_text(const MapRowError& error)
{
    std::string text = "Line " + std::to_string(error.line);
    if (!error.column.empty())
        text += ", column " + error.column;
    return text + ": " + error.reason;
}
