#pragma once
// The number a chart plots for an address: the one place that turns polled
// registers into a value, in the format and word order the grid shows.

#include <cstdint>
#include <span>

#include "table/value_format.hpp"
#include "table/wide_value.hpp"

// How many registers from the address one value takes (1, 2 or 4).
unsigned chart_value_words(ValueFormat format);

// The value of words (at least chart_value_words long). Signed formats plot
// signed, HEX and BINARY as UINT, floats as they are; a float that is not a
// finite number (NaN, infinity) plots as a gap. Coils and inputs (bits
// true) plot 0 or 1 whatever the format.
double chart_value(std::span<const uint16_t> words, ValueFormat format, WordOrder order, bool bits);
