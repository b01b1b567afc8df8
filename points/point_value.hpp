#pragma once
// A point's value in its own terms: registers as read turned into what the
// grid, the chart and the Write dialog show, and a value as the user types
// it turned back into the registers to send. No GTK here.

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.hpp"
#include "setup/point.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

// How the tab shows addresses without a type of their own.
struct TabFormat {
    ValueFormat format = ValueFormat::UINT;
    WordOrder order = WordOrder::AB_CD;
};

// Registers the point's value spans from its address: 1, 2 or 4 for the
// Formats (the tab's for a point without a type), 1 or 2 for BCD, its length
// for a string, 1 for bits; always 1 on a coil or discrete input (bits).
unsigned point_width(const Point& point, TabFormat tab, bool bits);

struct PointReading {
    // As the grid shows it: "1480 rpm", "Running", "7 (unnamed)",
    // "Overtemp, Low oil", "AX-1042", "0x12A4 (invalid BCD)", "NaN".
    // The scale and offset apply to the decimal Formats and BCD; HEX,
    // BINARY, bits, strings and coils show the registers themselves. With
    // decimals -1 an unscaled value shows as the program shows it, a scaled
    // one at 15 significant digits (a FLOAT32 at its own precision), so
    // 1480 × 0.1 shows 148. The unit follows a finite number, never a name,
    // a string, bits or NaN and Inf. Bits: the set bits' names in bit order,
    // "Bit 3" for one without a name, "None" when no bit is set. A string
    // ends at its first NUL; bytes that are not UTF-8 and control characters
    // show as "\xFF", a backslash as "\\".
    std::string text;
    // The registers as they came, in hex: "0x05C8", "0x0000 0x05C8"; "0"
    // or "1" for a coil.
    std::string raw;
    // The shown number (after the scale) for the chart; NaN for a string
    // or bits, and for data that is not a number (invalid BCD); a float's
    // NaN or infinity stays itself through the scale.
    double number = std::nan("");
    bool invalid = false;  // the device sent what the type cannot hold (a BCD nibble above 9)
    bool unnamed = false;  // an enumerated value without a name
};

// words holds at least point_width registers (one word of 0 or 1 per coil).
// On a coil or discrete input only the value names and the unit count.
PointReading read_point(const Point& point, TabFormat tab, std::span<const uint16_t> words, bool bits);

// A value typed as the user reads it ("1480", "1480 rpm", "Running",
// "AX-1042", a bit's "On"), turned into the registers that hold it; or
// the reason it cannot be sent ("Does not fit UINT after the scale:
// 70000"). Nothing is rounded silently beyond the register's integer.
// A value name matches exactly or in any case and is the raw value; the
// unit and " (unnamed)" may follow a number. "0x..." on an integer type is
// the raw value as the registers hold it, never scaled; HEX and BINARY take
// their digits as the Write dialog does. A string takes its text as it
// comes, blanks included, with "\xHH" and "\\" read back into bytes. Kind
// bits takes a number for the whole register: a bit is written on its own
// (bit_mask), so a bit's name is refused. A coil takes 1, 0, On, Off or its
// value names.
struct PointEncoding {
    std::vector<uint16_t> registers;  // point_width of them; empty when refused
    std::string refusal;
};
PointEncoding encode_point(const Point& point, TabFormat tab, std::string_view typed, bool bits);

// Why the point cannot stand at address of poll ("A string of 8 registers
// runs past the block's end", "The scale cannot be 0", "A coil has no BCD"),
// or empty when it can. A point of kind tab spans what the tab shows, which
// the tab keeps in the block itself; its width is not checked here.
std::string point_refusal(const Point& point, const PollDefinition& poll, uint16_t address);

// The masks of a Mask Write Register that sets one bit of a register to on
// and leaves the others: result = (current AND and_mask) OR (or_mask AND NOT and_mask).
// A bit above 15 changes nothing.
struct BitMask {
    uint16_t and_mask = 0xFFFF;
    uint16_t or_mask = 0;
};
BitMask bit_mask(uint8_t bit, bool on);
