#include "write/write_value.hpp"

#include <bit>
#include <charconv>
#include <limits>

#include "values/number_syntax.hpp"
#include "values/wide_value.hpp"

namespace {

std::string_view trim_blanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Removes "0x"/"0X" for HEX and "0b"/"0B" for BINARY when present.
std::string_view strip_prefix(std::string_view text, ValueFormat format)
{
    char letter = 0;
    if (format == ValueFormat::HEX)
        letter = 'x';
    else if (format == ValueFormat::BINARY)
        letter = 'b';
    if (letter && text.size() >= 2 && text[0] == '0' && (text[1] == letter || text[1] == letter - 'a' + 'A'))
        text.remove_prefix(2);
    return text;
}

unsigned base_of(ValueFormat format)
{
    switch (format) {
    case ValueFormat::HEX:
        return 16;
    case ValueFormat::BINARY:
        return 2;
    default:
        return 10;
    }
}

// A signed or unsigned integer of the given bits, as its two's-complement
// pattern.
std::optional<uint64_t> parse_integer(std::string_view text, unsigned bits, bool is_signed)
{
    uint64_t largest = bits == 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t(1) << bits) - 1;
    uint64_t limit = is_signed ? largest / 2 + 1 : largest;  // the magnitude of the most negative
    std::optional<NumberText> number = parse_number_text(text, 10, limit);
    if (!number)
        return std::nullopt;
    if (!number->negative)
        return is_signed && number->magnitude == limit ? std::nullopt : std::optional(number->magnitude);
    if (!is_signed && number->magnitude != 0)
        return std::nullopt;
    return (uint64_t(0) - number->magnitude) & largest;
}

bool same_letters(std::string_view text, std::string_view upper)
{
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != upper[i] && text[i] != upper[i] - 'A' + 'a')
            return false;
    return true;
}

template <typename Float>
std::optional<Float> parse_float(std::string_view text)
{
    // from_chars takes no "+"; a sign after it is not a number.
    if (!text.empty() && text.front() == '+' && (text.size() == 1 || (text[1] != '-' && text[1] != '+')))
        text.remove_prefix(1);
    Float value{};
    std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), value);
    // Out of range covers both overflow and values that round to zero.
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<uint16_t> parse_write_value(std::string_view text, ValueFormat format)
{
    text = strip_prefix(trim_blanks(text), format);
    // The same number syntax as the configuration file, in the format's base.
    uint64_t limit = format == ValueFormat::INT ? 32768 : 0xFFFF;
    std::optional<NumberText> number = parse_number_text(text, base_of(format), limit);
    if (!number)
        return std::nullopt;
    if (format == ValueFormat::INT) {
        if (!number->negative && number->magnitude > 32767)
            return std::nullopt;
        int32_t magnitude = static_cast<int32_t>(number->magnitude);
        return static_cast<uint16_t>((number->negative ? -magnitude : magnitude) & 0xFFFF);
    }
    if (number->negative && number->magnitude != 0)
        return std::nullopt;
    return static_cast<uint16_t>(number->magnitude);
}

std::optional<uint64_t> parse_wide_value(std::string_view text, ValueFormat format)
{
    text = trim_blanks(text);
    switch (format) {
    case ValueFormat::INT32:
        return parse_integer(text, 32, true);
    case ValueFormat::UINT32:
        return parse_integer(text, 32, false);
    case ValueFormat::INT64:
        return parse_integer(text, 64, true);
    case ValueFormat::UINT64:
        return parse_integer(text, 64, false);
    case ValueFormat::FLOAT32:
        if (std::optional<float> value = parse_float<float>(text))
            return std::bit_cast<uint32_t>(*value);
        return std::nullopt;
    case ValueFormat::FLOAT64:
        if (std::optional<double> value = parse_float<double>(text))
            return std::bit_cast<uint64_t>(*value);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<bool> parse_coil_value(std::string_view text, ValueFormat format)
{
    std::string_view word = trim_blanks(text);
    if (same_letters(word, "ON"))
        return true;
    if (same_letters(word, "OFF"))
        return false;
    std::optional<uint16_t> value = parse_write_value(text, value_width(format) > 1 ? ValueFormat::UINT : format);
    if (!value || *value > 1)
        return std::nullopt;
    return *value == 1;
}

const char* accepted_values(ValueFormat format)
{
    switch (format) {
    case ValueFormat::UINT:
        return "UINT: 0 to 65535";
    case ValueFormat::INT:
        return "INT: -32768 to 32767";
    case ValueFormat::HEX:
        return "HEX: 0 to FFFF, with or without 0x";
    case ValueFormat::BINARY:
        return "BINARY: up to 16 digits 0 and 1, with or without 0b";
    case ValueFormat::INT32:
        return "INT32: -2147483648 to 2147483647";
    case ValueFormat::UINT32:
        return "UINT32: 0 to 4294967295";
    case ValueFormat::FLOAT32:
        return "FLOAT32: -3.4028235e38 to 3.4028235e38, inf or nan";
    case ValueFormat::INT64:
        return "INT64: -9223372036854775808 to 9223372036854775807";
    case ValueFormat::UINT64:
        return "UINT64: 0 to 18446744073709551615";
    case ValueFormat::FLOAT64:
        return "FLOAT64: -1.7976931348623157e308 to 1.7976931348623157e308, inf or nan";
    }
    return "";
}
