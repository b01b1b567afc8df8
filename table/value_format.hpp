#pragma once
// The four ways of showing a 16-bit word; the order is the Format drop-down's.

#include <cstddef>
#include <cstdint>

enum class ValueFormat { UINT = 0, INT = 1, HEX = 2, BINARY = 3 };

// Renders v into out (terminated). False, with out untouched beyond its
// first byte, when capacity is too small; callers then show fallback_text.
bool render_value(uint16_t v, ValueFormat format, char* out, size_t capacity);

// "0", "0", "0x0000" or "0b0000000000000000".
const char* fallback_text(ValueFormat format);

// The text to show: out after a successful render_value, else fallback_text.
const char* render_or_fallback(uint16_t v, ValueFormat format, char* out, size_t capacity);

// Index of the drop-down to format; anything outside 0..3 counts as UINT.
ValueFormat value_format_from_index(unsigned index);
