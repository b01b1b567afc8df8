#pragma once
// The one syntax for numbers that the user types or a file holds: an
// optional "+" or "-", then digits of the base with "_" allowed between
// digits (one or several, never first, last or right after the sign).

#include <cstdint>
#include <optional>
#include <string_view>

struct NumberText {
    bool negative = false;
    uint64_t magnitude = 0;
};

// Sign and magnitude of text in base 2, 10 or 16; nothing for empty text,
// a character outside the syntax, or a magnitude above limit.
std::optional<NumberText> parse_number_text(std::string_view text, unsigned base, uint64_t limit);

// An unsigned number up to max_value; a "-" is taken only before a zero.
std::optional<uint32_t> parse_unsigned(std::string_view text, uint32_t max_value, unsigned base = 10);
