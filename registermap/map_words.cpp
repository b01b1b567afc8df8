#include "registermap/map_words.hpp"

#include <cctype>
#include <initializer_list>
#include <vector>

#include "config/point_format.hpp"
#include "values/number_syntax.hpp"

namespace {

// The word in capitals with its blanks, "_", "-" and "/" left out, so
// "Holding Registers", "holding_registers" and "HOLDINGREGISTERS" meet.
std::string squeezed(std::string_view word)
{
    std::string key;
    for (char c : trim_cell(word))
        if (c != ' ' && c != '_' && c != '-' && c != '/' && c != '\t')
            key += char(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

bool one_of(const std::string& key, std::initializer_list<std::string_view> words)
{
    for (std::string_view word : words)
        if (key == word)
            return true;
    return false;
}

// Each table's words, squeezed: the program's own, the Modicon digit forms,
// the two letters of a tag, the function code that reads it, and the
// common names of tag exports.
struct TableWords {
    ModbusTable table;
    std::initializer_list<std::string_view> words;
};
const TableWords table_words[] = {
    {ModbusTable::coils,
     {"COILS", "COIL", "CO", "CS", "0X", "0XXXX", "00000", "1", "01", "FC1", "FC01", "COILSTATUS", "DISCRETEOUTPUT",
      "DISCRETEOUTPUTS", "DIGITALOUTPUT", "DIGITALOUTPUTS", "DO"}},
    {ModbusTable::discrete_inputs,
     {"DISCRETEINPUTS", "DISCRETEINPUT", "DI", "IS", "1X", "1XXXX", "10000", "2", "02", "FC2", "FC02", "INPUTSTATUS",
      "DIGITALINPUT", "DIGITALINPUTS"}},
    {ModbusTable::input_registers,
     {"INPUTREGISTERS", "INPUTREGISTER", "IR", "3X", "3XXXX", "30000", "4", "04", "FC4", "FC04"}},
    {ModbusTable::holding_registers,
     {"HOLDINGREGISTERS", "HOLDINGREGISTER", "HR", "4X", "4XXXX", "40000", "3", "03", "FC3", "FC03", "HOLDING",
      "OUTPUTREGISTER", "OUTPUTREGISTERS"}},
};

struct TypeWords {
    PointKind kind;
    ValueFormat format;
    std::initializer_list<std::string_view> words;
};
// The program's own names come first in each row; format_from_name reads
// them too, but the rows keep every word of one meaning together.
const TypeWords type_words[] = {
    {PointKind::format, ValueFormat::UINT, {"UINT", "UINT16", "WORD", "USHORT", "UNSIGNED", "UNSIGNED16", "U16"}},
    {PointKind::format, ValueFormat::INT, {"INT", "INT16", "SHORT", "SIGNED", "SIGNED16", "S16", "I16"}},
    {PointKind::format, ValueFormat::HEX, {"HEX", "HEX16"}},
    {PointKind::format, ValueFormat::BINARY, {"BINARY", "BIN"}},
    {PointKind::format, ValueFormat::INT32, {"INT32", "DINT", "LONG", "SIGNED32", "S32", "I32"}},
    {PointKind::format, ValueFormat::UINT32, {"UINT32", "UDINT", "DWORD", "ULONG", "UNSIGNED32", "U32"}},
    {PointKind::format, ValueFormat::FLOAT32, {"FLOAT32", "FLOAT", "REAL", "REAL32", "SINGLE", "F32"}},
    {PointKind::format, ValueFormat::INT64, {"INT64", "LINT", "LONGLONG", "SIGNED64", "S64", "I64"}},
    {PointKind::format, ValueFormat::UINT64, {"UINT64", "ULINT", "LWORD", "ULONGLONG", "UNSIGNED64", "U64"}},
    {PointKind::format, ValueFormat::FLOAT64, {"FLOAT64", "DOUBLE", "LREAL", "REAL64", "F64"}},
    {PointKind::bits, ValueFormat::UINT, {"BITS", "BITFIELD", "BITMAP"}},
};

constexpr unsigned longest_string_characters = 2 * longest_point_string;

// "STRING[20]", "STRING20", "STRING(20)", "STRING 20": the characters, or
// none when word is no string type at all.
std::optional<std::string_view> string_length(std::string_view word)
{
    std::string key = squeezed(word.substr(0, 6));
    if (key != "STRING")
        return std::nullopt;
    std::string_view rest = trim_cell(word.substr(6));
    if (rest.size() >= 2 && ((rest.front() == '[' && rest.back() == ']') || (rest.front() == '(' && rest.back() == ')')))
        rest = trim_cell(rest.substr(1, rest.size() - 2));
    return rest;
}

std::optional<MapType> string_type(std::string_view length, std::string& refusal)
{
    if (length.empty()) {
        refusal = "a string needs its length in characters, such as STRING[20]";
        return std::nullopt;
    }
    std::optional<uint32_t> characters = parse_unsigned(length, longest_string_characters);
    if (!characters || *characters == 0) {
        refusal = "a string takes 1 to " + std::to_string(longest_string_characters) + " characters";
        return std::nullopt;
    }
    MapType type;
    type.point.kind = PointKind::string;
    type.point.registers = uint8_t((*characters + 1) / 2);
    return type;
}

}  // namespace

bool is_bit_table(ModbusTable table)
{
    return table == ModbusTable::coils || table == ModbusTable::discrete_inputs;
}

uint8_t read_function(ModbusTable table)
{
    constexpr uint8_t codes[] = {1, 2, 4, 3};  // in the order of ModbusTable
    return codes[size_t(table)];
}

std::string_view trim_cell(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<ModbusTable> table_from_word(std::string_view word)
{
    std::string key = squeezed(word);
    for (const TableWords& table : table_words)
        if (one_of(key, table.words))
            return table.table;
    return std::nullopt;
}

std::string_view table_word(ModbusTable table)
{
    switch (table) {
    case ModbusTable::coils: return "Coils";
    case ModbusTable::discrete_inputs: return "Discrete Inputs";
    case ModbusTable::input_registers: return "Input Registers";
    case ModbusTable::holding_registers: break;
    }
    return "Holding Registers";
}

std::optional<MapType> type_from_word(std::string_view word, std::string& refusal)
{
    if (std::optional<std::string_view> length = string_length(word))
        return string_type(*length, refusal);
    std::string key = squeezed(word);
    MapType type;
    if (one_of(key, {"BOOL", "BOOLEAN", "BIT", "DIGITAL", "COIL"})) {
        type.bit = true;
        return type;
    }
    if (one_of(key, {"BCD", "BCD16", "BCD32"})) {
        type.point.kind = PointKind::bcd;
        type.point.registers = key == "BCD32" ? 2 : 1;
        return type;
    }
    for (const TypeWords& row : type_words) {
        if (!one_of(key, row.words))
            continue;
        type.point.kind = row.kind;
        type.point.format = row.kind == PointKind::format ? row.format : ValueFormat::UINT;
        return type;
    }
    refusal = "unknown type '" + std::string(trim_cell(word)) + "'";
    return std::nullopt;
}

std::string type_word(const Point& point)
{
    switch (point.kind) {
    case PointKind::format: return std::string(format_name(point.format));
    case PointKind::bcd: return point.registers == 2 ? "BCD32" : "BCD16";
    case PointKind::string: return "STRING[" + std::to_string(2 * unsigned(point.registers)) + "]";
    case PointKind::bits: return "BITS";
    case PointKind::tab: break;
    }
    return {};
}

std::optional<WordOrder> order_from_word(std::string_view word)
{
    std::string key = squeezed(word);
    if (one_of(key, {"ABCD", "AB", "BIGENDIAN", "BIG", "BE", "NORMAL", "NONE", "NO", "FALSE", "0", "HIGHWORDFIRST"}))
        return WordOrder::AB_CD;
    if (one_of(key, {"CDAB", "WORDSWAP", "SWAPWORDS", "WORDSWAPPED", "SWAPPEDWORDS", "LOWWORDFIRST", "SWAP", "SWAPPED",
                     "YES", "TRUE", "1"}))
        return WordOrder::CD_AB;
    if (one_of(key, {"BADC", "BA", "BYTESWAP", "SWAPBYTES", "BYTESWAPPED", "SWAPPEDBYTES"}))
        return WordOrder::BA_DC;
    if (one_of(key, {"DCBA", "LITTLEENDIAN", "LITTLE", "LE", "BYTEANDWORDSWAP", "WORDANDBYTESWAP"}))
        return WordOrder::DC_BA;
    return std::nullopt;
}

namespace {

// The pieces of a names list, a doubled ";" kept as one inside its piece.
std::vector<std::string> names_pieces(std::string_view text)
{
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ';' && i + 1 < text.size() && text[i + 1] == ';') {
            pieces.back() += ';';
            ++i;
        } else if (text[i] == ';' || text[i] == '\n') {
            pieces.emplace_back();
        } else {
            pieces.back() += text[i];
        }
    }
    return pieces;
}

}  // namespace

bool read_names_list(std::string_view text, int64_t lowest, int64_t highest, std::map<int64_t, std::string>& names,
                     std::string& refusal)
{
    for (const std::string& piece : names_pieces(text)) {
        std::string_view pair = trim_cell(piece);
        if (pair.empty())
            continue;
        size_t mark = pair.find_first_of("=:");
        std::optional<NumberText> number =
            mark == std::string_view::npos ? std::nullopt
                                           : parse_number_text(trim_cell(pair.substr(0, mark)), 10, uint64_t(INT64_MAX));
        std::string_view name = mark == std::string_view::npos ? std::string_view() : trim_cell(pair.substr(mark + 1));
        if (!number || name.empty()) {
            refusal = "'" + std::string(pair) + "' is not number=name";
            return false;
        }
        int64_t key = number->negative ? -int64_t(number->magnitude) : int64_t(number->magnitude);
        if (key < lowest || key > highest) {
            refusal = std::to_string(key) + " is beyond " + std::to_string(key < lowest ? lowest : highest);
            return false;
        }
        names[key] = std::string(name);
    }
    return true;
}

std::string names_list_text(const std::map<int64_t, std::string>& names)
{
    std::string text;
    for (const auto& [key, name] : names) {
        if (!text.empty())
            text += ';';
        text += std::to_string(key) + '=';
        for (char c : name)
            text += c == ';' ? std::string(";;") : std::string(1, c);
    }
    return text;
}
