#pragma once
// The pieces of a point's text that reading and encoding share: numbers
// after the scale, a string's bytes shown escaped and taken back, registers
// in hex, the Formats' names. No GTK here.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "values/value_format.hpp"

// The Format drop-down's name: "UINT", "FLOAT32".
const char* point_format_name(ValueFormat format);

// text without the blanks and tabs at both ends.
std::string_view point_trimmed(std::string_view text);

// Whether a and b are the same apart from the case of ASCII letters.
bool same_ignoring_case(std::string_view a, std::string_view b);

// "0x05C8 0x0000": each register in hex, as it came.
std::string registers_hex(std::span<const uint16_t> registers);
// "0x12A4": value in digits hex digits.
std::string hex_text(uint64_t value, unsigned digits);

// value at 15 significant digits, which drops the noise of binary
// arithmetic: 1480 × 0.1 is 148, not 148.00000000000003.
double clean_number(double value);

// A value after the scale: decimals digits after the point, rounded half
// away from zero; -1: the shortest text of clean_number(value), or of the
// value as a FLOAT32 when single. "NaN", "Inf" and "-Inf" as values/ writes
// them. Never depends on the locale.
std::string scaled_text(double value, int decimals, bool single);

// Bytes as text: valid UTF-8 as it is; other bytes and control characters
// as "\xFF", a backslash as "\\", so that nothing reads as something else.
std::string escaped_text(std::string_view bytes);
// The inverse: "\xHH" (either case) and "\\" back into bytes; any other
// backslash stays itself.
std::string unescaped_text(std::string_view text);
