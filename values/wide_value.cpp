#include "values/wide_value.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Longest text: a negative 64-bit integer (20) or a double such as
// -2.2250738585072014e-308 (24), plus room.
constexpr size_t longest_text = 32;

bool words_reversed(WordOrder order)
{
    return order == WordOrder::CD_AB || order == WordOrder::DC_BA;
}

bool bytes_swapped(WordOrder order)
{
    return order == WordOrder::BA_DC || order == WordOrder::DC_BA;
}

uint16_t swap_bytes(uint16_t word)
{
    return static_cast<uint16_t>(word << 8 | word >> 8);
}

// Where word i (0 = most significant) of a value lies among its registers.
unsigned register_of_word(unsigned i, unsigned width, WordOrder order)
{
    return words_reversed(order) ? width - 1 - i : i;
}

template <typename Number>
char* write_number(char* first, char* last, Number n)
{
    std::to_chars_result result = std::to_chars(first, last, n);
    return result.ec == std::errc() ? result.ptr : nullptr;
}

template <typename Float>
char* write_float(char* first, char* last, Float f)
{
    const char* special = nullptr;
    if (std::isnan(f))
        special = "NaN";
    else if (std::isinf(f))
        special = f < 0 ? "-Inf" : "Inf";
    if (!special)
        return write_number(first, last, f);  // shortest round-trip text
    size_t n = std::strlen(special);
    std::memcpy(first, special, n);
    return first + n;
}

// Writes the value of bits in a wide format; null if it did not fit.
char* write_wide(char* first, char* last, uint64_t bits, ValueFormat format)
{
    switch (format) {
    case ValueFormat::INT32:
        return write_number(first, last, static_cast<int32_t>(static_cast<uint32_t>(bits)));
    case ValueFormat::UINT32:
        return write_number(first, last, static_cast<uint32_t>(bits));
    case ValueFormat::FLOAT32:
        return write_float(first, last, std::bit_cast<float>(static_cast<uint32_t>(bits)));
    case ValueFormat::INT64:
        return write_number(first, last, static_cast<int64_t>(bits));
    case ValueFormat::FLOAT64:
        return write_float(first, last, std::bit_cast<double>(bits));
    default:
        return write_number(first, last, bits);
    }
}

}  // namespace

WordOrder word_order_from_index(unsigned index)
{
    return index <= 3 ? static_cast<WordOrder>(index) : WordOrder::AB_CD;
}

unsigned value_width(ValueFormat format)
{
    switch (format) {
    case ValueFormat::INT32:
    case ValueFormat::UINT32:
    case ValueFormat::FLOAT32:
        return 2;
    case ValueFormat::INT64:
    case ValueFormat::UINT64:
    case ValueFormat::FLOAT64:
        return 4;
    default:
        return 1;
    }
}

uint64_t join_registers(const uint16_t* registers, unsigned width, WordOrder order)
{
    uint64_t bits = 0;
    for (unsigned i = 0; i < width; ++i) {
        uint16_t word = registers[register_of_word(i, width, order)];
        if (width > 1 && bytes_swapped(order))
            word = swap_bytes(word);
        bits = bits << 16 | word;
    }
    return bits;
}

void split_value(uint64_t bits, unsigned width, WordOrder order, uint16_t* registers)
{
    for (unsigned i = 0; i < width; ++i) {
        auto word = static_cast<uint16_t>(bits >> (16 * (width - 1 - i)));
        if (width > 1 && bytes_swapped(order))
            word = swap_bytes(word);
        registers[register_of_word(i, width, order)] = word;
    }
}

uint64_t bits_of_number(uint16_t n, ValueFormat format)
{
    if (format == ValueFormat::FLOAT32)
        return std::bit_cast<uint32_t>(static_cast<float>(n));
    if (format == ValueFormat::FLOAT64)
        return std::bit_cast<uint64_t>(static_cast<double>(n));
    return n;
}

bool render_registers(const uint16_t* registers, ValueFormat format, WordOrder order, char* out,
                      size_t capacity)
{
    unsigned width = value_width(format);
    if (width == 1)
        return render_value(registers[0], format, out, capacity);
    if (!out || capacity == 0)
        return false;
    // Built on the stack first, so a short buffer never holds a partial text.
    char text[longest_text];
    char* end = write_wide(text, text + sizeof text, join_registers(registers, width, order), format);
    size_t n = end ? static_cast<size_t>(end - text) : sizeof text;
    if (n >= capacity) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, text, n);
    out[n] = '\0';
    return true;
}

const char* render_registers_or_fallback(const uint16_t* registers, ValueFormat format, WordOrder order,
                                         char* out, size_t capacity)
{
    return render_registers(registers, format, order, out, capacity) ? out : fallback_text(format);
}
