#include "table/shown_values.hpp"

#include <algorithm>

namespace {

// Keys of definitions closed or changed linger until this many are held;
// then the first stored goes. A definition still polled stores its values
// again at its next poll.
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
    if (PublishedValues* held = find_values(shown, values.key)) {
        *held = values;
        return;
    }
    if (shown.published.size() >= most_kept)
        shown.published.erase(shown.published.begin());
    shown.published.push_back(values);
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
