#pragma once
// Values over two registers (32-bit integers and floats) or four (64-bit),
// in the word order the device uses. Bytes A (most significant) to D of a
// 32-bit value lie in the registers as "AB CD" (the Modbus convention),
// "CD AB" (registers swapped), "BA DC" (bytes swapped in each register) or
// "DC BA" (both); a 64-bit value follows the same two rules over four.

#include <cstddef>
#include <cstdint>

#include "values/value_format.hpp"

// The order of the Order drop-down.
enum class WordOrder { AB_CD = 0, CD_AB = 1, BA_DC = 2, DC_BA = 3 };

// Index of the drop-down to order; anything outside 0..3 counts as AB_CD.
WordOrder word_order_from_index(unsigned index);

// Registers per value: 1 for the 16-bit formats, 2 or 4 for the others.
unsigned value_width(ValueFormat format);

// The bits of a value of width registers (1, 2 or 4), most significant
// first once the order is undone.
uint64_t join_registers(const uint16_t* registers, unsigned width, WordOrder order);
// The inverse: the width registers that hold bits in the order.
void split_value(uint64_t bits, unsigned width, WordOrder order, uint16_t* registers);

// The bits that stand for the whole number n in a format (10 is 0x41200000
// in FLOAT32), for values the dialog offers when no polled value is there.
uint64_t bits_of_number(uint16_t n, ValueFormat format);

// Renders the value_width(format) registers as one value: decimal for the
// integers; for the floats the shortest text that reads back to the same
// value, or "NaN", "Inf", "-Inf". The 16-bit formats render registers[0].
// False (out empty) when capacity is too small.
bool render_registers(const uint16_t* registers, ValueFormat format, WordOrder order, char* out,
                      size_t capacity);
// out after a successful render_registers, else the format's fallback text.
const char* render_registers_or_fallback(const uint16_t* registers, ValueFormat format, WordOrder order,
                                         char* out, size_t capacity);
