#pragma once
// The user's labels: one entry per address, in the order in which the
// addresses were first labelled (the order of a saved file), with an index
// by address so that a file of many labels loads in linear time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct LabelEntry {
    uint16_t address;
    std::string text;  // UTF-8, may be empty

    bool operator==(const LabelEntry&) const = default;
};

// Change entries only through set_label and clear_labels, which keep the
// index in step; reading them directly is fine.
struct LabelStore {
    std::vector<LabelEntry> entries;
    std::unordered_map<uint16_t, size_t> position_of;  // address -> index into entries
};

// Replaces the text of the entry for address in place, or appends a new
// entry. False only when memory ran out (nothing changed then).
bool set_label(LabelStore& store, uint16_t address, std::string_view text);

// The entry for address, or null.
const LabelEntry* find_label(const LabelStore& store, uint16_t address);

void clear_labels(LabelStore& store);

// A grid label cell holds at most this many bytes of text.
constexpr size_t label_cell_capacity = 65534;

// What a label cell shows for a stored text: the text itself when it fits
// the cell, else its longest beginning that fits with a closing "…" (cut
// between characters). Such a cell cannot hold the whole label, so it is
// shown for reading only and never written back.
std::string_view fits_label_cell(std::string_view text, std::string& shortened);
