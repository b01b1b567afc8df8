#pragma once
// The configuration file's lines for the points of a definition. A POINT
// line names the address and, as key=value pieces, only what differs from
// an empty point:
//   POINT 10 type=UINT32 order=CD_AB scale=0.1 offset=-40 decimals=1 unit="°C"
//   POINT 20 type=STRING registers=8 bytes=swapped
// type is a Format's name, BCD16, BCD32, STRING or BITS, none for a point
// shown as its tab shows addresses. The point's names follow it, each on a
// line of its own with the LABEL lines' quoting:
//   VALUE 10 0 "Stopped"     (address, raw value, name)
//   BIT 10 3 "Overtemp"      (address, bit, name)
// No GTK here.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "setup/point.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

// The names of the Formats and word orders, on POLL and POINT lines alike.
std::string_view format_name(ValueFormat format);
std::string_view order_name(WordOrder order);
std::optional<ValueFormat> format_from_name(std::string_view name);
std::optional<WordOrder> order_from_name(std::string_view name);

// Appends the POINT line of the point at address, then its VALUE and BIT lines.
void append_point_lines(std::string& out, uint16_t address, const Point& point);

// Each reads the text after the line's first word into points; false when
// the line is malformed. A POINT line for an address that already has one
// is refused: which of the two types is meant cannot be told, and a value
// written with the wrong one would reach the device. Unknown keys are no
// error, as on the CONNECTION line. A VALUE or BIT line needs the POINT
// line of its address before it. A POINT line with no keys leaves an empty
// point, which the reader drops once the file is read.
bool read_point_line(std::string_view rest, std::map<uint16_t, Point>& points);
bool read_value_line(std::string_view rest, std::map<uint16_t, Point>& points);
bool read_bit_line(std::string_view rest, std::map<uint16_t, Point>& points);
