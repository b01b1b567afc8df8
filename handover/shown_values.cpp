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

void store_values(ShownValues& shown, const PublishedValues& values, uint32_t source)
{
    std::lock_guard lock(shown.lock);
    uint64_t now = ++shown.stores;
    if (PublishedValues* held = find_values(shown, values.key)) {
        *held = values;
        size_t at = size_t(held - shown.published.data());
        shown.stored_at[at] = now;
        shown.sources[at] = source;
        return;
    }
    if (shown.published.size() >= most_kept) {
        auto oldest = std::min_element(shown.stored_at.begin(), shown.stored_at.end());
        auto at = oldest - shown.stored_at.begin();
        shown.published.erase(shown.published.begin() + at);
        shown.sources.erase(shown.sources.begin() + at);
        shown.stored_at.erase(oldest);
    }
    shown.published.push_back(values);
    shown.stored_at.push_back(now);
    shown.sources.push_back(source);
}

void mark_values_stale(ShownValues& shown, uint16_t key, uint32_t source)
{
    std::lock_guard lock(shown.lock);
    for (size_t i = 0; i < shown.published.size(); ++i) {
        PublishedValues& values = shown.published[i];
        if (key == 0 ? shown.sources[i] == source : values.key == key)
            values.live = false;
    }
}

void clear_values(ShownValues& shown)
{
    std::lock_guard lock(shown.lock);
    shown.published.clear();
    shown.stored_at.clear();
    shown.sources.clear();
}

void clear_values_of(ShownValues& shown, uint32_t source)
{
    std::lock_guard lock(shown.lock);
    for (size_t i = shown.published.size(); i-- > 0;)
        if (shown.sources[i] == source) {
            shown.published.erase(shown.published.begin() + std::ptrdiff_t(i));
            shown.stored_at.erase(shown.stored_at.begin() + std::ptrdiff_t(i));
            shown.sources.erase(shown.sources.begin() + std::ptrdiff_t(i));
        }
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
