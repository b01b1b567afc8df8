#pragma once
// The number a chart plots for an address: the one place that turns polled
// registers into a value, in the format and word order the grid shows, and
// that tells which addresses the grid shows a value at.

#include <cstdint>
#include <span>
#include <string>

#include "values/value_format.hpp"
#include "values/wide_value.hpp"

// How many registers from the address one value takes (1, 2 or 4).
unsigned chart_value_words(ValueFormat format);

// Where an address stands in a polled block of length items from start,
// values of width registers grouped from start as the grid groups them.
enum class ChartPlace {
    value,         // it heads a value the grid shows: charted
    not_polled,    // outside the block
    inside_value,  // a later register of a value; the grid shows it blank
    cut_off,       // its value runs past the block's end; the grid shows nothing
};
ChartPlace chart_place(uint32_t address, uint32_t start, unsigned length, unsigned width);

// The value of words (at least chart_value_words long). Signed formats plot
// signed, HEX and BINARY as UINT, floats as they are: an infinity as itself,
// any NaN as device_nan() (see sample_store.hpp). Coils and inputs (bits
// true) plot 0 or 1 whatever the format.
double chart_value(std::span<const uint16_t> words, ValueFormat format, WordOrder order, bool bits);

// value, which chart_value gave in format, as the grid writes it: a FLOAT32
// as the float's shortest text, a HEX as 0x00FF, and so on; "NaN", "Inf"
// and "-Inf" as themselves, and empty for a failed poll (as sample_text).
// A value the format cannot hold (one taken in another format) is written
// as the number it is.
std::string chart_value_text(double value, ValueFormat format);
