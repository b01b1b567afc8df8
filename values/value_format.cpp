#include "values/value_format.hpp"

namespace {

// Longest rendering ("0b" and sixteen digits) plus the terminator.
constexpr size_t longest_text = 19;

constexpr char hex_digits[] = "0123456789ABCDEF";

// Writes the decimal digits of v, most significant first; returns the count.
size_t write_decimal(unsigned v, char* out)
{
    char reversed[5];
    size_t n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (size_t i = 0; i < n; ++i)
        out[i] = reversed[n - 1 - i];
    return n;
}

size_t write_signed(uint16_t v, char* out)
{
    if (v < 0x8000)
        return write_decimal(v, out);
    out[0] = '-';
    // Two's complement: the magnitude of v - 65536 is 65536 - v.
    return 1 + write_decimal(0x10000u - v, out + 1);
}

size_t write_hex(uint16_t v, char* out)
{
    out[0] = '0';
    out[1] = 'x';
    for (int i = 0; i < 4; ++i)
        out[2 + i] = hex_digits[(v >> (12 - 4 * i)) & 0xF];
    return 6;
}

size_t write_binary(uint16_t v, char* out)
{
    out[0] = '0';
    out[1] = 'b';
    for (int i = 0; i < 16; ++i)
        out[2 + i] = (v >> (15 - i)) & 1 ? '1' : '0';
    return 18;
}

}  // namespace

bool render_value(uint16_t v, ValueFormat format, char* out, size_t capacity)
{
    if (!out || capacity == 0)
        return false;
    // Build on the stack first, so a short buffer never holds a partial text.
    char text[longest_text];
    size_t n = 0;
    switch (format) {
    case ValueFormat::INT:
        n = write_signed(v, text);
        break;
    case ValueFormat::HEX:
        n = write_hex(v, text);
        break;
    case ValueFormat::BINARY:
        n = write_binary(v, text);
        break;
    case ValueFormat::UINT:
    default:
        n = write_decimal(v, text);
        break;
    }
    if (n >= capacity) {
        out[0] = '\0';
        return false;
    }
    for (size_t i = 0; i < n; ++i)
        out[i] = text[i];
    out[n] = '\0';
    return true;
}

const char* fallback_text(ValueFormat format)
{
    switch (format) {
    case ValueFormat::HEX:
        return "0x0000";
    case ValueFormat::BINARY:
        return "0b0000000000000000";
    default:
        return "0";
    }
}

ValueFormat value_format_from_index(unsigned index)
{
    return index <= 9 ? static_cast<ValueFormat>(index) : ValueFormat::UINT;
}

const char* render_or_fallback(uint16_t v, ValueFormat format, char* out, size_t capacity)
{
    return render_value(v, format, out, capacity) ? out : fallback_text(format);
}
