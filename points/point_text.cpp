#include "points/point_text.hpp"

#include <charconv>
#include <cmath>

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

// The length of the valid UTF-8 sequence at the start of text, or 0:
// overlong forms, surrogates and code points past U+10FFFF are not valid.
size_t utf8_sequence(std::string_view text)
{
    auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, code = lead & 0x07;
    if (length == 0 || text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (next & 0x3F);
    }
    constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

template <typename Number>
std::string shortest_text(Number value)
{
    char text[32];
    std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string fixed_text(double value, int decimals)
{
    // Scaled first, so the rounding is half away from zero on the digits
    // the user meant: 2.5 with no decimals is 3 where printf would say 2.
    double power = std::pow(10.0, decimals);
    double shifted = clean_number(value * power);
    if (std::fabs(shifted) < 0x1p53)
        value = std::round(shifted) / power + 0.0;  // + 0.0: no "-0.0"
    char text[400];  // the largest double in full, with 15 decimals
    std::to_chars_result result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

}  // namespace

const char* point_format_name(ValueFormat format)
{
    static const char* const names[] = {"UINT",   "INT",     "HEX",   "BINARY", "INT32",
                                        "UINT32", "FLOAT32", "INT64", "UINT64", "FLOAT64"};
    auto index = static_cast<unsigned>(format);
    return index < std::size(names) ? names[index] : names[0];
}

std::string_view point_trimmed(std::string_view text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool same_ignoring_case(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string hex_text(uint64_t value, unsigned digits)
{
    std::string text = "0x";
    for (unsigned i = digits; i-- > 0;)
        text += hex_digits[(value >> (4 * i)) & 0xF];
    return text;
}

std::string registers_hex(std::span<const uint16_t> registers)
{
    std::string text;
    for (uint16_t word : registers)
        text += (text.empty() ? "" : " ") + hex_text(word, 4);
    return text;
}

double clean_number(double value)
{
    if (!std::isfinite(value))
        return value;
    char text[32];
    std::to_chars_result result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    double clean = value;
    std::from_chars(text, result.ptr, clean);
    return clean;
}

std::string scaled_text(double value, int decimals, bool single)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "Inf";
    if (decimals >= 0)
        return fixed_text(value, decimals);
    // A FLOAT32 holds 7 to 9 digits: its scaled value shows at that precision.
    if (single && std::isfinite(static_cast<float>(value)))
        return shortest_text(static_cast<float>(value));
    return shortest_text(clean_number(value));
}

std::string escaped_text(std::string_view bytes)
{
    std::string text;
    while (!bytes.empty()) {
        auto byte = static_cast<unsigned char>(bytes[0]);
        size_t length = utf8_sequence(bytes);
        if (byte == '\\')
            text += "\\\\";
        else if (length == 0 || byte < 0x20 || byte == 0x7F)
            text += "\\x" + hex_text(byte, 2).substr(2);
        else
            text += bytes.substr(0, length);
        bytes.remove_prefix(length ? length : 1);
    }
    return text;
}

std::string unescaped_text(std::string_view text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\\\") == 0) {
            bytes += '\\';
            ++i;
        } else if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() && hex_digit(text[i + 2]) >= 0 &&
                   hex_digit(text[i + 3]) >= 0) {
            bytes += static_cast<char>(hex_digit(text[i + 2]) << 4 | hex_digit(text[i + 3]));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}
