#include "values/number_syntax.hpp"

namespace {

// The value of c as a digit of base, or -1.
int digit_value(char c, unsigned base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && unsigned(value) < base ? value : -1;
}

}  // namespace

std::optional<NumberText> parse_number_text(std::string_view text, unsigned base, uint64_t limit)
{
    NumberText number;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Digits must stand at both ends; separators only between them.
    if (text.empty() || text.front() == '_' || text.back() == '_')
        return std::nullopt;
    bool too_large = false;
    for (char c : text) {
        if (c == '_')
            continue;
        int digit = digit_value(c, base);
        if (digit < 0)
            return std::nullopt;
        // Once past the limit only the syntax of the rest still matters.
        if (too_large || uint64_t(digit) > limit || number.magnitude > (limit - uint64_t(digit)) / base)
            too_large = true;
        else
            number.magnitude = number.magnitude * base + unsigned(digit);
    }
    if (too_large)
        return std::nullopt;
    return number;
}

std::optional<uint32_t> parse_unsigned(std::string_view text, uint32_t max_value, unsigned base)
{
    std::optional<NumberText> number = parse_number_text(text, base, max_value);
    if (!number || (number->negative && number->magnitude != 0))
        return std::nullopt;
    return uint32_t(number->magnitude);
}
