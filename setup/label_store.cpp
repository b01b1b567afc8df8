#include "setup/label_store.hpp"

#include <new>

bool set_label(LabelStore& store, uint16_t address, std::string_view text)
{
    try {
        auto found = store.position_of.find(address);
        if (found != store.position_of.end()) {
            store.entries[found->second].text.assign(text);
            return true;
        }
        // The entry first: if the index cannot grow, the entry is taken back.
        store.entries.push_back(LabelEntry{address, std::string(text)});
        try {
            store.position_of.emplace(address, store.entries.size() - 1);
        } catch (const std::bad_alloc&) {
            store.entries.pop_back();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const LabelEntry* find_label(const LabelStore& store, uint16_t address)
{
    auto found = store.position_of.find(address);
    return found == store.position_of.end() ? nullptr : &store.entries[found->second];
}

void clear_labels(LabelStore& store)
{
    store.entries.clear();
    store.position_of.clear();
}

std::string_view fits_label_cell(std::string_view text, std::string& shortened)
{
    if (text.size() <= label_cell_capacity)
        return text;
    constexpr std::string_view ellipsis = "\xE2\x80\xA6";
    size_t cut = label_cell_capacity - ellipsis.size();
    // Back up to the first byte of a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    shortened.assign(text.substr(0, cut)).append(ellipsis);
    return shortened;
}
