#include "table/label_store.hpp"

#include <new>

bool set_label(LabelStore& store, uint16_t address, std::string_view text)
{
    try {
        for (LabelEntry& entry : store.entries) {
            if (entry.address == address) {
                entry.text.assign(text);
                return true;
            }
        }
        store.entries.push_back(LabelEntry{address, std::string(text)});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const LabelEntry* find_label(const LabelStore& store, uint16_t address)
{
    for (const LabelEntry& entry : store.entries)
        if (entry.address == address)
            return &entry;
    return nullptr;
}
