#pragma once
// A point: what the user knows about one address of a definition, beside
// its label. Everything is optional; a point with nothing set shows as the
// tab's Format and Order always did. No GTK here.

#include <cstdint>
#include <map>
#include <string>

#include "values/value_format.hpp"
#include "values/wide_value.hpp"

enum class PointKind : uint8_t {
    tab,     // no type of its own: the tab's Format and Order
    format,  // one of the program's Formats, with its word order
    bcd,     // packed BCD over 1 or 2 registers
    string,  // text over 1 to 64 registers
    bits,    // a 16-bit register shown as its named bits
};

inline constexpr unsigned longest_point_string = 64;  // registers

struct Point {
    PointKind kind = PointKind::tab;
    ValueFormat format = ValueFormat::UINT;  // kind format
    WordOrder order = WordOrder::AB_CD;      // kind format over several registers, and BCD over 2
    uint8_t registers = 1;                   // kind bcd: 1 or 2; kind string: 1 to 64
    bool swapped_bytes = false;              // kind string: the low byte of a register first

    // Shown value = raw × scale + offset, with decimals digits after the
    // point (-1: as many as the value needs) and the unit after it.
    double scale = 1;
    double offset = 0;
    int decimals = -1;
    std::string unit;

    // An enumeration by raw value (before the scale); a coil's or discrete
    // input's names for 0 and 1 ("Off", "On") are value names too.
    std::map<int64_t, std::string> value_names;
    std::map<uint8_t, std::string> bit_names;  // kind bits: by bit, 0 the least significant

    bool operator==(const Point&) const = default;
};

// Whether anything of the point is set; an empty point is kept nowhere.
inline bool is_empty_point(const Point& point)
{
    return point == Point{};
}
