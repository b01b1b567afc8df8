#include "table/grid_layout.hpp"

#include <algorithm>
#include <cstdio>

GridLayout make_grid_layout(uint16_t start, unsigned length, bool labels_visible)
{
    GridLayout layout;
    layout.start = start;
    layout.length = length;
    layout.base = start / block_size * block_size;
    // A length of 0 (possible from a file) still lays out the first block,
    // so the grid keeps its headers and row numbers.
    unsigned last_offset = start % block_size + (length ? length - 1 : 0);
    layout.blocks = last_offset / block_size + 1;
    layout.labels_visible = labels_visible;
    return layout;
}

unsigned value_column(const GridLayout& layout, unsigned block)
{
    return layout.labels_visible ? 2 * block + 2 : block + 1;
}

unsigned label_column(unsigned block)
{
    return 2 * block + 1;
}

uint32_t block_first_address(const GridLayout& layout, unsigned block)
{
    return layout.base + block_size * block;
}

bool is_label_cell(const GridLayout& layout, unsigned column, unsigned row)
{
    return layout.labels_visible && row >= 1 && column % 2 == 1;
}

uint32_t cell_address(const GridLayout& layout, unsigned column, unsigned row)
{
    unsigned block = layout.labels_visible ? (column - 1) / 2 : column - 1;
    return layout.base + block_size * block + row - 1;
}

unsigned shown_items(const GridLayout& layout)
{
    uint32_t room = highest_address + 1 - layout.start;
    return static_cast<unsigned>(std::min<uint32_t>(layout.length, room));
}

bool default_label_text(uint8_t fcode, uint32_t address, char* out, size_t capacity, AddressNotation notation)
{
    if (!out || capacity == 0)
        return false;
    const char* prefix = fcode == 1 || fcode == 2 ? "Coil " : "Address ";
    int n = 0;
    if (notation == AddressNotation::protocol || address > highest_address)
        n = std::snprintf(out, capacity, "%s%u", prefix, static_cast<unsigned>(address));
    else
        n = std::snprintf(out, capacity, "%s%s", prefix,
                          format_address(notation, table_of_function(fcode), uint16_t(address)).c_str());
    if (n < 0 || static_cast<size_t>(n) >= capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}

unsigned group_head(unsigned item, unsigned width)
{
    return width ? item - item % width : item;
}

bool group_complete(unsigned item, unsigned width, unsigned items)
{
    return group_head(item, width) + width <= items;
}
