#pragma once
// The number a chart plots for an address: the one place that turns polled
// words into a value, so wider formats only need to be taught here.

#include <cstdint>
#include <span>

#include "table/value_format.hpp"

// How many consecutive words from the address one value takes.
unsigned chart_value_words(ValueFormat format);

// The value of words (at least chart_value_words long) in format. Signed
// formats plot signed; HEX and BINARY plot as UINT. Coils and inputs
// (bits true) plot 0 or 1 whatever the format.
double chart_value(std::span<const uint16_t> words, ValueFormat format, bool bits);
