#pragma once
// The user's labels: one entry per address, in the order in which the
// addresses were first labelled (the order of a saved file).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct LabelEntry {
    uint16_t address;
    std::string text;  // UTF-8, may be empty

    bool operator==(const LabelEntry&) const = default;
};

struct LabelStore {
    std::vector<LabelEntry> entries;
};

// Replaces the text of the entry for address in place, or appends a new
// entry. False only when memory ran out (nothing changed then).
bool set_label(LabelStore& store, uint16_t address, std::string_view text);

// The entry for address, or null.
const LabelEntry* find_label(const LabelStore& store, uint16_t address);
