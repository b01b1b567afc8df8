#include "link/write_value.hpp"

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

int base_of(ValueFormat format)
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

int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// The magnitude of a run of digits with "_" only between digits. Stops
// growing past any 16-bit range, so long texts cannot overflow.
std::optional<uint32_t> parse_digits(std::string_view digits, int base)
{
    if (digits.empty() || digits.front() == '_' || digits.back() == '_')
        return std::nullopt;
    uint32_t magnitude = 0;
    for (char c : digits) {
        if (c == '_')
            continue;
        int d = digit_value(c);
        if (d >= base)
            return std::nullopt;
        magnitude = magnitude * base + d;
        if (magnitude > 0x10000)
            magnitude = 0x10001;
    }
    return magnitude;
}

}  // namespace

std::optional<uint16_t> parse_write_value(std::string_view text, ValueFormat format)
{
    text = strip_prefix(trim_blanks(text), format);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::optional<uint32_t> magnitude = parse_digits(text, base_of(format));
    if (!magnitude)
        return std::nullopt;
    if (format == ValueFormat::INT) {
        if (negative ? *magnitude > 32768 : *magnitude > 32767)
            return std::nullopt;
        int32_t value = negative ? -static_cast<int32_t>(*magnitude) : static_cast<int32_t>(*magnitude);
        return static_cast<uint16_t>(value & 0xFFFF);
    }
    if (negative && *magnitude != 0)
        return std::nullopt;
    if (*magnitude > 0xFFFF)
        return std::nullopt;
    return static_cast<uint16_t>(*magnitude);
}
