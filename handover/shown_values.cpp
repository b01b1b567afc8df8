#include "handover/shown_values.hpp"

#include <algorithm>

namespace {

// Keys of definitions closed or changed linger until this many are held;
// then the one stored least recently goes. Those are never stored again, so
// a definition still polled, however slowly, keeps its values: it would
// take more closes and changes than this within one of its scan intervals.
constexpr size_t most_kept = 2 * max_poll_definitions;

PublishedValues* find_values(ShownValues& shown, uint16_t key)
{
    auto found = std::find_if(shown.published.begin(), shown.published.end(),
                              [key](const PublishedValues& v) { return v.key == key; });
    return found == shown.published.end() ? nullptr : &*found;
}

}  // namespace

void store_values(ShownValues& shown, const PublishedValues& values)
{
    std::lock_guard lock(shown.lock);
    uint64_t now = ++shown.stores;
    if (PublishedValues* held = find_values(shown, values.key)) {
        *held = values;
        shown.stored_at[size_t(held - shown.published.data())] = now;
        return;
    }
    if (shown.published.size() >= most_kept) {
        auto oldest = std::min_element(shown.stored_at.begin(), shown.stored_at.end());
        shown.published.erase(shown.published.begin() + (oldest - shown.stored_at.begin()));
        shown.stored_at.erase(oldest);
    }
    shown.published.push_back(values);
    shown.stored_at.push_back(now);
}

void mark_values_stale(ShownValues& shown, uint16_t key)
{
    std::lock_guard lock(shown.lock);
    for (PublishedValues& values : shown.published)
        if (key == 0 || values.key == key)
            values.live = false;
}

void clear_values(ShownValues& shown)
{
    std::lock_guard lock(shown.lock);
    shown.published.clear();
    shown.stored_at.clear();
}

PublishedValues copy_values_for(ShownValues& shown, uint16_t key, const PollDefinition& current)
{
    std::lock_guard lock(shown.lock);
    PublishedValues* held = find_values(shown, key);
    if (!held || !same_block(held->block, current)) {
        PublishedValues none{current};
        none.key = key;
        return none;
    }
    return *held;
}
