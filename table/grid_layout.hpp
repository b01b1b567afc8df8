#pragma once
// Arithmetic of the register grid, free of the toolkit. Addresses are
// grouped in blocks of ten that start at multiples of ten; each block is one
// value column (with a label column before it while labels are shown). Row 0
// holds the headers and column 0 the row numbers "0".."9".
//
// The last block may reach past 65535, so addresses here are 32-bit; such
// cells exist on screen but never take a value or a label.

#include <cstddef>
#include <cstdint>

#include "values/address_notation.hpp"

inline constexpr unsigned grid_rows = 11;  // the header row and ten addresses
inline constexpr unsigned block_size = 10;
inline constexpr uint32_t highest_address = 0xFFFF;

struct GridLayout {
    uint16_t start = 0;    // first polled address
    unsigned length = 0;   // polled items
    uint32_t base = 0;     // first address of the first block
    unsigned blocks = 1;   // at least one, also for length 0
    bool labels_visible = true;
};

GridLayout make_grid_layout(uint16_t start, unsigned length, bool labels_visible);

unsigned value_column(const GridLayout& layout, unsigned block);
// Only meaningful while labels are shown.
unsigned label_column(unsigned block);
// The header of a value column: the first address of its block.
uint32_t block_first_address(const GridLayout& layout, unsigned block);

bool is_label_cell(const GridLayout& layout, unsigned column, unsigned row);

// Address of a label or value cell (row >= 1, column >= 1). A label cell and
// the value cell beside it share one address. May exceed highest_address.
uint32_t cell_address(const GridLayout& layout, unsigned column, unsigned row);

// How many polled items have an address within 0..65535 and so are shown.
unsigned shown_items(const GridLayout& layout);

// "Coil n" for function codes 1 and 2, "Address n" otherwise, n in the
// notation (past 65535 always a protocol address). False when the text does
// not fit (out then holds an empty text).
bool default_label_text(uint8_t fcode, uint32_t address, char* out, size_t capacity,
                        AddressNotation notation = AddressNotation::protocol);

// Values of several registers group the polled items in twos or fours from
// the first polled address. The item (0-based offset from the start) that
// heads the group holding item; the group shows its value there.
unsigned group_head(unsigned item, unsigned width);
// Whether the group holding item lies whole within the first items; the
// last group of a poll may not, and then shows nothing.
bool group_complete(unsigned item, unsigned width, unsigned items);
