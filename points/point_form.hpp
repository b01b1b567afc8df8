#pragma once
// The Edit Point dialog's fields as the user fills them, and the point
// they make or why they make none. No GTK here.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "setup/point.hpp"

// The Type drop-down's entries, in order: the tab's Format, the program's
// Formats in their order, then BCD, String and Bits.
std::span<const char* const> point_type_names();

struct PointFields {
    unsigned type = 0;  // index into point_type_names()
    WordOrder order = WordOrder::AB_CD;
    unsigned registers = 1;  // BCD: 1 or 2; String: 1 to 64
    bool swapped_bytes = false;
    std::string scale = "1";
    std::string offset = "0";
    int decimals = -1;
    std::string unit;
    std::string value_names;  // one a line: "0 = Stopped"
    std::string bit_names;    // one a line: "3 = Overtemp"
};

PointFields fields_of(const Point& point);

// The point the fields make, or none with the reason in refusal, naming
// the field and, for a list of names, its line ("Value names, line 2: no
// number before \"=\"").
std::optional<Point> point_of(const PointFields& fields, std::string& refusal);
