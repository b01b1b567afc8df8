#pragma once
// How a polled block falls into the values the grid shows: each point at
// the width of its type, every other address in the tab's Format from
// where the last value ended (so a block without points groups as it
// always did, from its first address). No GTK here.

#include <cstdint>
#include <vector>

#include "points/point_value.hpp"
#include "setup/set_up.hpp"

struct ValueGroup {
    unsigned first = 0;  // offset of its first item from the block's start
    unsigned width = 1;  // items it spans
    const Point* point = nullptr;  // none: the tab's Format
    // It lies whole within the block, and no point starts inside it: the
    // grid shows its value at first and marks the rest as part of it.
    bool complete = true;
};

// The groups of the definition's block, in address order, covering every
// item once; pointers into its points, valid while those stand.
std::vector<ValueGroup> value_groups(const DefinitionSetUp& definition);

// Index of the group that holds item, or groups.size() past the block.
size_t group_index(const std::vector<ValueGroup>& groups, unsigned item);

bool is_bit_poll(uint8_t fcode);
