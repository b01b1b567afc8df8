#include "link/write_value.hpp"

#include "config/number_syntax.hpp"

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
