#pragma once
// The ways of showing register values; the order is the Format drop-down's.
// The first four show one 16-bit word; the others a value over two (32-bit)
// or four (64-bit) registers, rendered by values/wide_value.hpp.

#include <cstddef>
#include <cstdint>

enum class ValueFormat {
    UINT = 0,
    INT = 1,
    HEX = 2,
    BINARY = 3,
    INT32 = 4,
    UINT32 = 5,
    FLOAT32 = 6,
    INT64 = 7,
    UINT64 = 8,
    FLOAT64 = 9,
};

// Renders v into out (terminated); a format of several registers renders
// the word as UINT. False, with out untouched beyond its
// first byte, when capacity is too small; callers then show fallback_text.
bool render_value(uint16_t v, ValueFormat format, char* out, size_t capacity);

// "0x0000" for HEX, "0b0000000000000000" for BINARY, "0" for every other.
const char* fallback_text(ValueFormat format);

// The text to show: out after a successful render_value, else fallback_text.
const char* render_or_fallback(uint16_t v, ValueFormat format, char* out, size_t capacity);

// Index of the drop-down to format; anything outside 0..9 counts as UINT.
ValueFormat value_format_from_index(unsigned index);
