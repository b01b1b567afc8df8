#pragma once
// A point's number apart from its text, for the chart, which keeps numbers
// and writes them again later: the number before the scale, and a number
// written as read_point writes it. No GTK here.

#include <cstdint>
#include <span>
#include <string>

#include "points/point_value.hpp"
#include "setup/point.hpp"
#include "values/value_format.hpp"

// How the numbers of a point are written.
struct PointNumberStyle {
    // The Format the number is read in: the point's, or the tab's for a
    // point without a type; UINT for BCD, bits, strings and coils.
    ValueFormat format = ValueFormat::UINT;
    // Written at the point's decimals (scaled_text) rather than as the
    // register's own text: a decimal Format or BCD with a scale, an offset
    // or decimals set.
    bool rescaled = false;
    // A scale or offset applies: the shown number is not the raw one.
    bool scaled = false;
};
PointNumberStyle point_number_style(const Point& point, TabFormat tab, bool bits);

// shown, a number read_point gave for point, as read_point writes it:
// plain (the number's own text in style.format, as the grid writes it
// without a point) unless rescaled, then the unit after it; NaN, the
// infinities, bits and strings are plain alone. Value names are left out:
// a mean has none.
std::string point_number_text(const Point& point, const PointNumberStyle& style, double shown, std::string plain);

// The number read_point reads from words before the scale and offset:
// the raw value of a decimal Format or BCD; NaN where the point has none.
double point_raw_number(const Point& point, TabFormat tab, std::span<const uint16_t> words, bool bits);
