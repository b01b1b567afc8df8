#pragma once
// The number a chart plots for an address: the one place that turns polled
// registers into a value, in the format and word order the grid shows or
// in the terms of the point there, and that tells which addresses the grid
// shows a value at.

#include <cstdint>
#include <span>
#include <string>

#include "points/point_number.hpp"
#include "setup/set_up.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

// How many registers from the address one value takes (1, 2 or 4).
unsigned chart_value_words(ValueFormat format);

// Where an address stands among the values the grid shows of a block.
enum class ChartPlace {
    value,         // it heads a value the grid shows: charted
    not_polled,    // outside the block
    inside_value,  // a later register of a value; the grid shows it blank
    cut_off,       // its value runs past the block's end; the grid shows nothing
    cut_short,     // a point starts inside its value; the grid shows nothing
};

struct ChartSpot {
    ChartPlace place = ChartPlace::not_polled;
    uint16_t head = 0;             // the address that heads its value
    unsigned width = 1;            // registers of that value, as far as the block holds them
    const Point* point = nullptr;  // the point heading it, or none: the tab's Format
};
// Where address stands in the definition's block, grouped as the grid groups
// it (value_groups); the point is the definition's, valid while it stands.
ChartSpot chart_spot(const DefinitionSetUp& definition, uint16_t address);

// The value of words (at least chart_value_words long). Signed formats plot
// signed, HEX and BINARY as UINT, floats as they are: an infinity as itself,
// any NaN as device_nan() (see sample_store.hpp). Coils and inputs (bits
// true) plot 0 or 1 whatever the format.
double chart_value(std::span<const uint16_t> words, ValueFormat format, WordOrder order, bool bits);

// The numbers of a point's value in words (point_width of them): the one
// the grid shows (read_point's, after the scale) and the raw one before
// the scale, the same unless style.scaled. The device answered, so a NaN
// of either is device_nan().
struct ChartNumbers {
    double shown = 0;
    double raw = 0;
};
ChartNumbers chart_point_value(const Point& point, const PointNumberStyle& style, TabFormat tab,
                               std::span<const uint16_t> words, bool bits);

// value, which chart_value gave in format, as the grid writes it: a FLOAT32
// as the float's shortest text, a HEX as 0x00FF, and so on; "NaN", "Inf"
// and "-Inf" as themselves, and empty for a failed poll (as sample_text).
// A value the format cannot hold (one taken in another format) is written
// as the number it is.
std::string chart_value_text(double value, ValueFormat format);
