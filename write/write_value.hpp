#pragma once
// Parsing of the value typed into the Write dialog, in the display format
// chosen in the main window. Free of GTK so it is tested without a display.

#include <cstdint>
#include <optional>
#include <string_view>

#include "values/value_format.hpp"

// The 16-bit word the text stands for in the given format, or nothing when
// the text is not a number of that format or lies outside its range.
// Blanks and tabs around the text are ignored; HEX may start with "0x",
// BINARY with "0b"; "_" may separate digits; "+" may lead; "-" leads a
// negative INT (stored as its two's complement) and otherwise only zeros.
std::optional<uint16_t> parse_write_value(std::string_view text, ValueFormat format);

// The bits of the value the text stands for in a format of two or four
// registers (INT32 to FLOAT64), or nothing when it is not a number of that
// type or lies outside its range. Integers take the syntax above in base 10
// ("-" only before zeros for the unsigned ones). Floats take the C-locale
// decimal or exponent form, "inf" and "nan", with an optional "+"; a value
// too large for the type, or so small that it would round to zero, is
// refused. Blanks and tabs around the text are ignored.
std::optional<uint64_t> parse_wide_value(std::string_view text, ValueFormat format);

// The state a coil is switched to: "ON" or "OFF" in any case, or a number
// of the format (of UINT for a format of several registers) that is 0 or 1.
// Nothing for any other value: a coil write keeps only bit 0 of a number,
// so 2 would switch the coil off where the user meant on.
std::optional<bool> parse_coil_value(std::string_view text, ValueFormat format);

// What a format takes, named as the Format drop-down names it, for the
// message that refuses a value ("UINT: 0 to 65535").
const char* accepted_values(ValueFormat format);
