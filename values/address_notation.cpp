#include "values/address_notation.hpp"

#include <cctype>
#include <cstdio>

#include "values/number_syntax.hpp"

namespace {

constexpr uint32_t last_address = 0xFFFF;
// Register numbers up to this one take 4 digits after a Modicon table
// digit ("40001"), the rest 5 ("410000"), as the devices' manuals print them.
constexpr uint32_t short_modicon_limit = 9999;

struct TableWords {
    char modicon_digit;
    const char* tag;       // the two letters of a tag export
    const char* singular;  // with its article, inside a sentence
    const char* plural;    // first in a sentence
};

// In the order of ModbusTable.
constexpr TableWords table_words[] = {
    {'0', "CO", "a coil", "Coils"},
    {'1', "DI", "a discrete input", "Discrete inputs"},
    {'3', "IR", "an input register", "Input registers"},
    {'4', "HR", "a holding register", "Holding registers"},
};

const TableWords& words_of(ModbusTable table)
{
    return table_words[static_cast<int>(table)];
}

std::optional<ModbusTable> table_of_digit(char digit)
{
    for (int i = 0; i < 4; ++i)
        if (table_words[i].modicon_digit == digit)
            return static_cast<ModbusTable>(i);
    return std::nullopt;
}

std::string_view trim_blanks(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool is_digit_of(char c, unsigned base)
{
    return base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c));
}

bool starts_with_hex_mark(std::string_view text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

enum class Reading { number, junk, too_large };

struct NumberReading {
    Reading reading = Reading::junk;
    uint32_t value = 0;
};

// The number syntax without a sign: an address has none, and a "-" would
// read as a typing slip rather than as zero.
NumberReading read_number(std::string_view text, unsigned base, uint32_t max_value)
{
    if (text.empty() || !is_digit_of(text.front(), base))
        return {};
    for (char c : text)
        if (c != '_' && !is_digit_of(c, base))
            return {};
    // Past the syntax checks a failure can only be a number above the limit,
    // unless the separators stand wrong.
    if (std::optional<NumberText> number = parse_number_text(text, base, max_value))
        return {Reading::number, uint32_t(number->magnitude)};
    return {text.back() == '_' ? Reading::junk : Reading::too_large, 0};
}

enum class ModiconFault { none, junk, digit_count, table_digit, range };

struct ModiconReading {
    ModiconFault fault = ModiconFault::junk;
    ModbusTable table = ModbusTable::holding_registers;
    uint16_t address = 0;
};

ModiconReading read_modicon(std::string_view text)
{
    ModiconReading modicon;
    std::string digits;
    if (read_number(text, 10, UINT32_MAX).reading == Reading::junk)
        return modicon;
    for (char c : text)
        if (c != '_')
            digits += c;
    modicon.fault = ModiconFault::digit_count;
    if (digits.size() != 5 && digits.size() != 6)
        return modicon;
    std::optional<ModbusTable> table = table_of_digit(digits[0]);
    modicon.fault = ModiconFault::table_digit;
    if (!table)
        return modicon;
    modicon.table = *table;
    uint32_t number = uint32_t(std::stoul(digits.substr(1)));
    uint32_t limit = digits.size() == 5 ? short_modicon_limit : last_address + 1;
    modicon.fault = number >= 1 && number <= limit ? ModiconFault::none : ModiconFault::range;
    modicon.address = uint16_t(number - 1);
    return modicon;
}

std::string range_refusal(AddressNotation notation, ModbusTable table)
{
    std::string subject = notation == AddressNotation::protocol          ? "Protocol addresses"
                          : notation == AddressNotation::register_number ? "Register numbers"
                          : notation == AddressNotation::hexadecimal     ? "Hexadecimal addresses"
                                                                         : words_of(table).plural;
    return subject + " run from " + format_address(notation, table, 0) + " to " +
           format_address(notation, table, uint16_t(last_address));
}

ParsedAddress refused(std::string reason)
{
    return {std::nullopt, std::move(reason)};
}

ParsedAddress parse_modicon(ModbusTable table, std::string_view text)
{
    ModiconReading modicon = read_modicon(text);
    switch (modicon.fault) {
    case ModiconFault::none:
        break;
    case ModiconFault::junk:
        return refused(std::string(text) + " is not an address");
    case ModiconFault::digit_count:
        return refused("A Modicon address has 5 or 6 digits, such as " +
                       format_address(AddressNotation::modicon, table, 0));
    case ModiconFault::table_digit:
        return refused("A Modicon address starts with 0, 1, 3 or 4");
    case ModiconFault::range:
        return refused(range_refusal(AddressNotation::modicon, modicon.table));
    }
    if (modicon.table != table)
        return refused(std::string(text) + " is " + words_of(modicon.table).singular + ", not " +
                       words_of(table).singular);
    return {modicon.address, {}};
}

// A number in base after the first skip characters of text, where the
// protocol address is the number less offset.
ParsedAddress parse_plain(AddressNotation notation, ModbusTable table, std::string_view text, size_t skip,
                          unsigned base, uint32_t offset)
{
    NumberReading number = read_number(text.substr(skip), base, last_address + offset);
    if (number.reading == Reading::junk)
        return refused(std::string(text) + " is not an address");
    if (number.reading == Reading::too_large || number.value < offset)
        return refused(range_refusal(notation, table));
    return {uint16_t(number.value - offset), {}};
}

}  // namespace

ModbusTable table_of_function(uint8_t fcode)
{
    switch (fcode) {
    case 1:
    case 5:
    case 15:
        return ModbusTable::coils;
    case 2:
        return ModbusTable::discrete_inputs;
    case 4:
        return ModbusTable::input_registers;
    default:
        return ModbusTable::holding_registers;
    }
}

std::string format_address(AddressNotation notation, ModbusTable table, uint16_t address)
{
    char text[16];
    uint32_t number = uint32_t(address) + 1;
    switch (notation) {
    case AddressNotation::protocol:
        return std::to_string(address);
    case AddressNotation::register_number:
        return std::to_string(number);
    case AddressNotation::modicon:
        std::snprintf(text, sizeof text, number <= short_modicon_limit ? "%c%04u" : "%c%05u",
                      words_of(table).modicon_digit, unsigned(number));
        return text;
    case AddressNotation::hexadecimal:
        std::snprintf(text, sizeof text, "0x%04X", unsigned(address));
        return text;
    }
    return std::to_string(address);
}

ParsedAddress parse_address(AddressNotation notation, ModbusTable table, std::string_view text)
{
    text = trim_blanks(text);
    if (text.empty())
        return refused("The address is missing");
    if (starts_with_hex_mark(text))
        return parse_plain(AddressNotation::hexadecimal, table, text, 2, 16, 0);
    switch (notation) {
    case AddressNotation::protocol:
        return parse_plain(notation, table, text, 0, 10, 0);
    case AddressNotation::register_number:
        return parse_plain(notation, table, text, 0, 10, 1);
    case AddressNotation::modicon:
        return parse_modicon(table, text);
    case AddressNotation::hexadecimal:
        return parse_plain(notation, table, text, 0, 16, 0);
    }
    return refused(std::string(text) + " is not an address");
}

std::string notation_name(AddressNotation notation)
{
    switch (notation) {
    case AddressNotation::protocol:
        return "Protocol address (0-based)";
    case AddressNotation::register_number:
        return "Register number (1-based)";
    case AddressNotation::modicon:
        return "Modicon (00001, 10001, 30001, 40001)";
    case AddressNotation::hexadecimal:
        return "Hexadecimal (0x0000)";
    }
    return {};
}

namespace {

// In the order of AddressNotation; the words are kept in the preferences
// and so never change.
constexpr std::string_view notation_keys[] = {"protocol", "register", "modicon", "hex"};

}  // namespace

std::string_view notation_key(AddressNotation notation)
{
    return notation_keys[static_cast<int>(notation)];
}

std::optional<AddressNotation> notation_from_key(std::string_view key)
{
    for (int i = 0; i < 4; ++i)
        if (notation_keys[i] == key)
            return static_cast<AddressNotation>(i);
    return std::nullopt;
}

namespace {

bool same_letters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "4x0001": the table digit, "x", and a register number. "0x" opens a
// hexadecimal number wherever the program reads one, and so no table here.
std::optional<std::pair<ModbusTable, uint16_t>> parse_x_tag(std::string_view text)
{
    if (text.size() < 3 || (text[1] != 'x' && text[1] != 'X') || starts_with_hex_mark(text))
        return std::nullopt;
    std::optional<ModbusTable> table = table_of_digit(text[0]);
    NumberReading number = read_number(text.substr(2), 10, last_address + 1);
    if (!table || number.reading != Reading::number || number.value == 0)
        return std::nullopt;
    return std::pair{*table, uint16_t(number.value - 1)};
}

// "HR100": two letters and a protocol address.
std::optional<std::pair<ModbusTable, uint16_t>> parse_letter_tag(std::string_view text)
{
    for (int i = 0; i < 4; ++i) {
        if (text.size() < 3 || !same_letters(text.substr(0, 2), table_words[i].tag))
            continue;
        NumberReading number = read_number(text.substr(2), 10, last_address);
        if (number.reading != Reading::number)
            return std::nullopt;
        return std::pair{static_cast<ModbusTable>(i), uint16_t(number.value)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::pair<ModbusTable, uint16_t>> parse_tagged_address(std::string_view text)
{
    text = trim_blanks(text);
    if (auto tagged = parse_x_tag(text))
        return tagged;
    if (auto tagged = parse_letter_tag(text))
        return tagged;
    ModiconReading modicon = read_modicon(text);
    if (modicon.fault != ModiconFault::none)
        return std::nullopt;
    return std::pair{modicon.table, modicon.address};
}
